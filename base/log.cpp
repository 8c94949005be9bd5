// The run's log file. Each line is opened, appended and closed on its own, so
// that a killed run keeps every line written so far and two copies of the
// program can take turns in one file.
#include "base/log.h"

#include "base/ansi_path.h"
#include "base/final_path.h"
#include "base/format.h"
#include "base/system_version.h"
#include "base/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

// The build passes the version that the version resource shows too.
const char kProgramVersion[] = SETUP_PROGRAM_VERSION;
const DWORD kOpenReparsePoint = 0x00200000;  // FILE_FLAG_OPEN_REPARSE_POINT, NT only
// Each run's first line, after the time and the process id. A file whose
// first line is one is this program's own log, the only kind it ever cuts.
const char kHeaderText[] = "==== ZynSetup log of ";

char g_logPath[MAX_PATH];
char g_logPlace[MAX_PATH];  // the log's path spelled out as a final path; "" until first read
DWORD g_openFlags;  // with the flag that opens a link itself, where the system has it

// Appends printf-style text at `*used`, cutting it at `size` - 1 characters.
void AppendText(char *line, size_t size, size_t *used, const char *format, va_list arguments)
{
    size_t room = size - 1 - *used;
    int written = _vsnprintf(line + *used, room, format, arguments);
    *used = written < 0 || (size_t)written > room ? size - 1 : *used + (size_t)written;
    line[*used] = 0;
}

// "hh:mm:ss [process id] text" and CRLF into `line` of LOG_LINE_SIZE; its length.
DWORD StampLine(char *line, const char *format, va_list arguments)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatText(line, LOG_LINE_SIZE, "%02u:%02u:%02u [%lu] ", now.wHour, now.wMinute, now.wSecond,
               GetCurrentProcessId());
    size_t used = strlen(line);
    AppendText(line, LOG_LINE_SIZE - 2, &used, format, arguments);
    line[used++] = '\r';
    line[used++] = '\n';
    return (DWORD)used;
}

DWORD StampFormat(char *line, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    DWORD length = StampLine(line, format, arguments);
    va_end(arguments);
    return length;
}

// "hh:mm:ss [digits] " and the header text, as each run of this program
// starts its lines.
int IsHeaderLine(const char *text)
{
    const char shape[] = "00:00:00 [";
    for (size_t i = 0; shape[i]; ++i)
        if (shape[i] == '0' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i])
            return 0;
    const char *digit = text + sizeof(shape) - 1;
    while (*digit >= '0' && *digit <= '9')
        ++digit;
    return digit[0] == ']' && digit[1] == ' ' &&
           strncmp(digit + 2, kHeaderText, sizeof(kHeaderText) - 1) == 0;
}

int StartsWithHeader(HANDLE file)
{
    char head[64];
    DWORD read = 0;
    if (SetFilePointer(file, 0, 0, FILE_BEGIN) != 0 ||
        !ReadFile(file, head, sizeof(head) - 1, &read, 0))
        return 0;
    head[read] = 0;
    return IsHeaderLine(head);
}

// Keeps the last half of the log, from its first whole line on, after a
// header line, so that the next run still knows the file for its own. The
// block has room for the header before the half it reads.
void TrimLog(HANDLE file, DWORD size)
{
    const DWORD keep = LOG_SIZE_LIMIT / 2;
    char *block = size > keep ? (char *)LocalAlloc(LMEM_FIXED, LOG_LINE_SIZE + keep) : 0;
    if (!block)
        return;
    char *half = block + LOG_LINE_SIZE;
    DWORD read = 0;
    if (SetFilePointer(file, (LONG)(size - keep), 0, FILE_BEGIN) == size - keep &&
        ReadFile(file, half, keep, &read, 0)) {
        char *start = (char *)memchr(half, '\n', read);
        start = start ? start + 1 : half + read;
        // A cut log starts with a header line again: still this program's.
        DWORD length = StampFormat(block, "%searlier runs, cut to the last half", kHeaderText);
        start -= length;
        memmove(start, block, length);
        DWORD written = 0;
        SetFilePointer(file, 0, 0, FILE_BEGIN);
        WriteFile(file, start, (DWORD)(half + read - start), &written, 0);
        SetEndOfFile(file);
    }
    LocalFree(block);
}

// A file of its own: not a link to another file, which the trimming would cut
// in half for whoever planted the link.
int IsPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) && information.nNumberOfLinks <= 1 &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The log's folder, where it is named, before a log is created in it.
int IsFolderWhereNamed(void)
{
    char folder[MAX_PATH];
    lstrcpyA(folder, g_logPath);
    char *cut = strrchr(folder, '\\');
    if (!cut)
        return 0;
    cut[1] = 0;  // with its backslash, so that "C:\" stays a root
    HANDLE held = CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (held == INVALID_HANDLE_VALUE)
        return 0;
    char spelled[MAX_PATH];
    spelled[0] = 0;
    int where = IsOpenWhereNamed(held, folder, spelled);
    CloseHandle(held);
    return where;
}

// The log, opened for appending. On NT it is opened where it is or made
// there, never through a link: opening always would follow a link named
// like the log, even a dangling one, and make its target anywhere. A file
// made elsewhere all the same (the folder swapped for a link meanwhile) is
// deleted again.
HANDLE OpenLogHandle(void)
{
    const DWORD access = GENERIC_READ | GENERIC_WRITE;
    int nt = IsNtPlatform();
    HANDLE file = CreateFileA(g_logPath, access, FILE_SHARE_READ, 0,
                              nt ? OPEN_EXISTING : OPEN_ALWAYS, g_openFlags, 0);
    int made = 0;
    if (nt && file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND &&
        IsFolderWhereNamed()) {
        file = CreateFileA(g_logPath, access, FILE_SHARE_READ, 0, CREATE_NEW, g_openFlags, 0);
        made = 1;
    }
    if (file == INVALID_HANDLE_VALUE ||
        (IsPlainFile(file) && IsOpenWhereNamed(file, g_logPath, g_logPlace)))
        return file;
    char final[MAX_PATH];
    int told = made && FinalPathOf(file, final);
    CloseHandle(file);
    if (told)
        DeleteFileA(final);
    return INVALID_HANDLE_VALUE;
}

int AppendToLog(const char *text, DWORD length)
{
    HANDLE file = OpenLogHandle();
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    DWORD size = GetFileSize(file, 0);
    // Only this program's own log is cut; any other file is appended to.
    if (size != INVALID_FILE_SIZE && size + length > LOG_SIZE_LIMIT && StartsWithHeader(file))
        TrimLog(file, size);
    int ok = SetFilePointer(file, 0, 0, FILE_END) != INVALID_SET_FILE_POINTER &&
             WriteFile(file, text, length, &written, 0) && written == length;
    CloseHandle(file);
    return ok;
}

// One stamped line; the last error is kept for the caller.
int WriteLine(const char *format, va_list arguments)
{
    if (!g_logPath[0])
        return 0;
    DWORD lastError = GetLastError();
    char line[LOG_LINE_SIZE];
    int ok = AppendToLog(line, StampLine(line, format, arguments));
    SetLastError(lastError);
    return ok;
}

int WriteHeader(RunOptions options, const char *commandLine)
{
    const OSVERSIONINFOA &version = SystemVersion();
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!LogLine("%s%04u-%02u-%02u", kHeaderText, now.wYear, now.wMonth, now.wDay))
        return 0;
    char program[MAX_PATH];
    if (!ReadProgramFile(program))
        lstrcpyA(program, "?");
    LogLine("program %s, version %s", program, kProgramVersion);
    LogLine("command line: %s", commandLine ? commandLine : "");
    LogLine("run options 0x%08lX", options);
    LogLine("Windows %lu.%lu.%lu %s, platform %lu", version.dwMajorVersion,
                version.dwMinorVersion, version.dwBuildNumber & 0xFFFF, version.szCSDVersion,
                version.dwPlatformId);
    LogLine("language: user 0x%04X, system 0x%04X", GetUserDefaultLangID(),
                GetSystemDefaultLangID());
    return 1;
}

} // namespace

int OpenLog(RunOptions options, const char *folder, const char *commandLine)
{
    char place[MAX_PATH];
    char file[MAX_PATH];
    file[0] = 0;
    if (folder && *folder) {
        lstrcpynA(place, folder, MAX_PATH);
    } else {
        ReadTempFolder(place);
    }
    size_t length = strlen(place);
    if (length && place[length - 1] == '\\')
        place[length - 1] = 0;
    if (place[0])
        FormatText(file, MAX_PATH, "%s\\" LOG_FILE_NAME, place);
    return OpenLogFile(options, file, commandLine);
}

int OpenLogFile(RunOptions options, const char *file, const char *commandLine)
{
    g_logPath[0] = 0;
    if (!(options & RUNOPT_LOG) || !file || !*file)
        return 0;
    // A full path: the place the system names the open file by is compared with
    // it. One that has no exact ANSI form is not written.
    if (!FullAnsiPath(file, g_logPath))
        return 0;
    g_logPlace[0] = 0;
    g_openFlags = FILE_ATTRIBUTE_NORMAL | (IsNtPlatform() ? kOpenReparsePoint : 0);
    if (!WriteHeader(options, commandLine))
        g_logPath[0] = 0;
    return g_logPath[0] != 0;
}

const char *LogPath(void)
{
    return g_logPath;
}

int LogLine(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int ok = WriteLine(format, arguments);
    va_end(arguments);
    return ok;
}

void LogOutcome(DWORD error, const char *format, ...)
{
    if (!g_logPath[0])
        return;
    char text[LOG_LINE_SIZE];
    size_t used = 0;
    va_list arguments;
    va_start(arguments, format);
    AppendText(text, sizeof(text), &used, format, arguments);
    va_end(arguments);
    if (!error) {
        LogLine("%s: ok", text);
        return;
    }
    DWORD lastError = GetLastError();
    char message[MAX_PATH];
    // The count of characters written, short of MAX_PATH: 0 on failure.
    message[FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, error,
                           0, message, MAX_PATH, 0)] = 0;
    for (size_t end = strlen(message); end > 0 && (unsigned char)message[end - 1] <= ' ';)
        message[--end] = 0;
    if (!message[0])
        lstrcpyA(message, "no system text");
    SetLastError(lastError);
    LogLine("%s: failed, error %lu: %s", text, error, message);
}

int LogFailure(const char *call, const char *subject)
{
    LogOutcome(GetLastError(), "%s %s", call, subject);
    return 0;
}

void LogPathLists(const char *from, const char *to)
{
    for (; from && *from; from = NextEntry(from)) {
        LogLine("  %s%s%s", from, to ? " > " : "", to ? to : "");
        if (to)
            to = NextEntry(to);
        if (to && !*to)
            to = 0;  // a shorter second list ends its pairs
    }
}

void CloseLog(void)
{
    g_logPath[0] = 0;
}
