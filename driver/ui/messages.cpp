// Message boxes, message texts and the restart prompt.
#include "driver/ui/user_interface.h"

#include "base/format.h"
#include "base/system_library.h"
#include "resources/resource.h"

int ShowMessage(HWND owner, const char *text, const char *caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

void ErrorText(DWORD error, char *text)
{
    ZeroMemory(text, MAX_PATH);
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
