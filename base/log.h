// The run's log for silent callers and support desks: "ZynSetup.log" in the
// temporary folder (or a folder the caller names), in the ANSI code page with
// CRLF line ends, appended to and trimmed to its last half when it would pass
// 1 MB. Every line carries the time and the process id, so that the two
// copies of an elevated run can share one file. Nothing here ever fails the
// run: a log that cannot be written is simply not written.
#ifndef BASE_LOG_H
#define BASE_LOG_H

#include "base/run_options.h"

#include <windows.h>

#define LOG_FILE_NAME "ZynSetup.log"

enum {
    LOG_LINE_SIZE = 1024,       // one line with its CRLF and terminator
    LOG_SIZE_LIMIT = 0x100000   // the file never grows past 1 MB
};

// Opens the log when `options` has RUNOPT_LOG: in `folder`, or in the
// temporary folder when `folder` is null or empty, and writes the header
// (time, program, `commandLine`, options, system, language).
// Returns 1 when the header was written; else the log stays closed and every
// later line is dropped.
int OpenLog(RunOptions options, const char *folder, const char *commandLine);
// The same with the log file named: `file`, a full path whose folder exists.
int OpenLogFile(RunOptions options, const char *file, const char *commandLine);

// The full path of the open log (260 characters at most), or "" when closed.
const char *LogPath(void);

// One line, formatted printf-style; a line longer than LOG_LINE_SIZE is cut.
// 0 when no log is open or the line could not be written.
int LogLine(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// One line for a Win32 call: the text, then "ok" when `error` is 0, else the
// error code and its system message text (FormatMessageA).
void LogOutcome(DWORD error, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Logs the failure of `call` on `subject` with GetLastError, as LogOutcome
// does; returns 0, so that a failing branch can end with it.
int LogFailure(const char *call, const char *subject);

// One line per entry of the multi-strings `from` and, when given, `to`
// (entries paired by position): the lists of a shell file operation.
void LogPathLists(const char *from, const char *to);

// Ends the log: every later line is dropped until the next OpenLog.
void CloseLog(void);

#endif
