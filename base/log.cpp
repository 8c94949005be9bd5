// The run's log file. Each line is opened, appended and closed on its own, so
// that a killed run keeps every line written so far and two copies of the
// program can take turns in one file.
#include "base/log.h"

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

char g_logPath[MAX_PATH];
DWORD g_openFlags;  // with the flag that opens a link itself, where the system has it

// Appends printf-style text at `*used`, cutting it at `size` - 1 characters.
void AppendText(char *line, size_t size, size_t *used, const char *format, va_list arguments)
{
    size_t room = size - 1 - *used;
    int written = _vsnprintf(line + *used, room, format, arguments);
    *used = written < 0 || (size_t)written > room ? size - 1 : *used + (size_t)written;
    line[*used] = 0;
}

void AppendFormat(char *line, size_t size, size_t *used, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AppendText(line, size, used, format, arguments);
    va_end(arguments);
}

// Keeps the last half of the log, from its first whole line on.
void TrimLog(HANDLE file, DWORD size)
{
    const DWORD keep = LOG_SIZE_LIMIT / 2;
    char *block = size > keep ? (char *)LocalAlloc(LMEM_FIXED, keep) : 0;
    DWORD read = 0;
    if (block && SetFilePointer(file, (LONG)(size - keep), 0, FILE_BEGIN) == size - keep &&
        ReadFile(file, block, keep, &read, 0)) {
        char *start = (char *)memchr(block, '\n', read);
        start = start ? start + 1 : block + read;
        DWORD written = 0;
        SetFilePointer(file, 0, 0, FILE_BEGIN);
        WriteFile(file, start, (DWORD)(block + read - start), &written, 0);
        SetEndOfFile(file);
    }
    if (block)
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

int AppendToLog(const char *text, DWORD length)
{
    HANDLE file = CreateFileA(g_logPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, 0,
                              OPEN_ALWAYS, g_openFlags, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    int ok = IsPlainFile(file);
    if (ok) {
        DWORD size = GetFileSize(file, 0);
        if (size != INVALID_FILE_SIZE && size + length > LOG_SIZE_LIMIT)
            TrimLog(file, size);
        ok = SetFilePointer(file, 0, 0, FILE_END) != INVALID_SET_FILE_POINTER &&
             WriteFile(file, text, length, &written, 0) && written == length;
    }
    CloseHandle(file);
    return ok;
}

// "hh:mm:ss [process id] text" and CRLF; the last error is kept for the caller.
int WriteLine(const char *format, va_list arguments)
{
    if (!g_logPath[0])
        return 0;
    DWORD lastError = GetLastError();
    char line[LOG_LINE_SIZE];
    size_t used = 0;
    SYSTEMTIME now;
    GetLocalTime(&now);
    AppendFormat(line, sizeof(line) - 2, &used, "%02u:%02u:%02u [%lu] ", now.wHour, now.wMinute,
                 now.wSecond, GetCurrentProcessId());
    AppendText(line, sizeof(line) - 2, &used, format, arguments);
    line[used++] = '\r';
    line[used++] = '\n';
    int ok = AppendToLog(line, (DWORD)used);
    SetLastError(lastError);
    return ok;
}

int WriteHeader(RunOptions options, const char *commandLine)
{
    const OSVERSIONINFOA &version = SystemVersion();
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!LogLine("==== ZynSetup log of %04u-%02u-%02u", now.wYear, now.wMonth, now.wDay))
        return 0;
    char program[MAX_PATH] = {0};
    GetModuleFileNameA(0, program, MAX_PATH - 1);
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
    char place[MAX_PATH] = {0};
    char file[MAX_PATH] = {0};
    if (folder && *folder)
        lstrcpynA(place, folder, MAX_PATH);
    else if (GetTempPathA(MAX_PATH, place) >= MAX_PATH)
        place[0] = 0;
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
    lstrcpynA(g_logPath, file, MAX_PATH);
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
    char message[MAX_PATH] = {0};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, error, 0,
                   message, MAX_PATH, 0);
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
