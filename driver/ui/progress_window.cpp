// The modeless progress window (dialog 102). No message loop runs for it: the
// run moves the bar and pauses briefly so the window can paint.
#include "driver/ui/user_interface.h"

#include "base/startup_state.h"
#include "resources/resource.h"

#include <commctrl.h>

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return 0;
    char caption[MAX_PATH];
    SetWindowTextA(window, LoadText(IDS_CAPTION_INSTALL, caption, MAX_PATH));
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 8));
    return 1;
}

HWND OpenProgressWindow(void)
{
    HWND window = CreateDialogParamA(g_startup.instance, MAKEINTRESOURCEA(IDD_PROGRESS), 0,
                                     ProgressDlgProc, 0);
    if (window)
        ShowWindow(window, SW_SHOW);
    return window;
}

void SetProgress(HWND window, int position, int pause)
{
    SendMessageA(GetDlgItem(window, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
    if (pause)
        Sleep(50);
}

void CloseProgressWindow(HWND window)
{
    if (window)
        DestroyWindow(window);
}
