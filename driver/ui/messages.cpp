// Message boxes, message texts and the restart prompt.
#include "driver/ui/user_interface.h"

#include "base/format.h"
#include "base/startup_state.h"
#include "base/system_library.h"
#include "resources/resource.h"

namespace {

HHOOK g_iconHook;

// A message box has no icon of its own in its title bar; it gets the
// program's once it has set itself up, before it is shown.
LRESULT CALLBACK GiveProgramIcon(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT *call = (const CWPRETSTRUCT *)lParam;
    if (code == HC_ACTION && call->message == WM_INITDIALOG) {
        HICON icon = LoadIconA(g_startup.instance, MAKEINTRESOURCEA(IDI_SETUP));
        SendMessageA(call->hwnd, WM_SETICON, ICON_BIG, (LPARAM)icon);
        SendMessageA(call->hwnd, WM_SETICON, ICON_SMALL, (LPARAM)icon);
    }
    return CallNextHookEx(g_iconHook, code, wParam, lParam);
}

} // namespace

int ShowMessage(HWND owner, const char *text, const char *caption, UINT style)
{
    g_iconHook = SetWindowsHookExA(WH_CALLWNDPROCRET, GiveProgramIcon, 0, GetCurrentThreadId());
    int answer = MessageBoxA(owner, text, caption, style);
    if (g_iconHook)
        UnhookWindowsHookEx(g_iconHook);
    g_iconHook = 0;
    return answer;
}

void ErrorText(DWORD error, char *text)
{
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 0, error, 0x400, text, MAX_PATH, 0))
        return;
    char format[MAX_PATH];
    char phase[MAX_PATH];
    FormatText(text, MAX_PATH, LoadText(IDS_FAILED_FORMAT, format, MAX_PATH),
               LoadText(IDS_PHASE_INITIALIZATION, phase, MAX_PATH));
}

// SetupPromptReboot asks whether to restart Windows now; setupapi is loaded
// at run time, from the system folder.
void PromptForRestart(void)
{
    typedef int(WINAPI * PromptRebootFn)(void *, HWND, BOOL);
    PromptRebootFn prompt = (PromptRebootFn)SystemLibraryEntry("setupapi.dll", "SetupPromptReboot");
    if (prompt)
        prompt(0, 0, FALSE);
}
