// The caller-notification key: a volatile per-user key that holds one launch
// request for the application. Its existence is the lock between callers.
#include "driver/setup_driver.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

enum { SLOT_FEATURE, SLOT_HWND, SLOT_PATH, SLOT_NOTIFY, SLOT_KILL, SLOT_COUNT };

// Named, so that every use shares one copy of the text.
const char kNotificationKey[] = CALLER_NOTIFICATION_KEY;

// The values' names by slot; "HWND" is a DWORD, the others are texts.
const wchar_t *const kValueNames[SLOT_COUNT] = {L"FEATUREID", L"HWND", L"PATH", L"NOTIFY",
                                                L"KILL"};

int HasPrefix(const wchar_t *text, const wchar_t *prefix)
{
    return wcsncmp(text, prefix, wcslen(prefix)) == 0;
}

// Fills the table from arguments 1 to count-1; 0 when a slot fails.
int FillSlots(wchar_t **arguments, int count, const wchar_t **texts)
{
    for (int k = 1; k < count; ++k) {
        const wchar_t *argument = arguments[k];
        switch (k - 1) {
        case SLOT_FEATURE:
            if (!HasPrefix(argument, L"/T") || !argument[2])
                return 0;
            texts[SLOT_FEATURE] = argument + 2;
            break;
        case SLOT_HWND:
            if (!HasPrefix(argument, L"HWND=") || !argument[5])
                return 0;
            texts[SLOT_HWND] = argument + 5;
            break;
        case SLOT_PATH:
            if (GetFileAttributesW(argument) == INVALID_FILE_ATTRIBUTES)
                return 0;
            texts[SLOT_PATH] = argument;
            break;
        default:
            if (HasPrefix(argument, L"NOTIFY="))
                texts[SLOT_NOTIFY] = argument + 7;
            else if (HasPrefix(argument, L"KILL="))
                texts[SLOT_KILL] = argument + 5;
            break;
        }
    }
    return 1;
}

DWORD ParseWindowHandle(const wchar_t *text)
{
    unsigned long value = 0;
    swscanf(text, L"%lx", &value);
    return (DWORD)value;
}

// Writes the slots the command line gave (a text of none is left out).
int WriteValues(HKEY key, const wchar_t *const *texts)
{
    for (int i = 0; i < SLOT_COUNT; ++i) {
        if (!texts[i])
            continue;
        LONG result;
        if (i == SLOT_HWND) {
            DWORD number = ParseWindowHandle(texts[i]);
            result = RegSetValueExW(key, kValueNames[i], 0, REG_DWORD, (const BYTE *)&number,
                                    sizeof(number));
        } else {
            result = RegSetValueExW(key, kValueNames[i], 0, REG_SZ, (const BYTE *)texts[i],
                                    (DWORD)(2 * (wcslen(texts[i]) + 1)));
        }
        if (result != ERROR_SUCCESS)
            return 0;
    }
    return 1;
}

} // namespace

int ReadCallerWindow(HWND *callerWindow)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kNotificationKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    int ok = RegQueryValueExA(key, "HWND", 0, 0, (BYTE *)&value, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (ok)
        *callerWindow = (HWND)(UINT_PTR)value;
    return ok;
}

int DeleteCallerNotification(void)
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kNotificationKey);
    return 1;
}

int RegisterCallerNotification(HWND *callerWindow, int *busy)
{
    *busy = 0;
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments)
        return 0;
    const wchar_t *texts[SLOT_COUNT] = {0};  // none where the command line gives none
    texts[SLOT_HWND] = L"0";
    // The caller's window is taken even from a request that is refused, so
    // that the refusal's message belongs to the caller.
    int slotsOk = FillSlots(arguments, count, texts);
    *callerWindow = (HWND)(UINT_PTR)ParseWindowHandle(texts[SLOT_HWND]);
    if (!(count == 2 || count == 3 || count == 5 || count == 6))
        slotsOk = 0;
    for (int i = 0; slotsOk && i < count - 1; ++i)
        if (!texts[i])
            slotsOk = 0;
    int ok = 0;
    HKEY key;
    DWORD disposition = 0;
    // Creating is the test: a key that was there already, even one another
    // caller created a moment ago, holds a pending request, which is never
    // overwritten.
    if (slotsOk && RegCreateKeyExA(HKEY_CURRENT_USER, kNotificationKey, 0, 0,
                                   REG_OPTION_VOLATILE, KEY_ALL_ACCESS, 0, &key,
                                   &disposition) == ERROR_SUCCESS) {
        if (disposition == REG_OPENED_EXISTING_KEY)
            *busy = 1;
        else
            ok = WriteValues(key, texts);
        RegCloseKey(key);
        if (!ok && !*busy)
            RegDeleteKeyA(HKEY_CURRENT_USER, kNotificationKey);
    }
    LocalFree(arguments);
    return ok;
}
