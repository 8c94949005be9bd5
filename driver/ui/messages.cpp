// Message boxes and the restart prompt.
#include "driver/ui/user_interface.h"

#include "driver/system_library.h"

int ShowMessage(HWND owner, const char *text, const char *caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
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
