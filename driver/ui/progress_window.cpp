// The modeless progress window (dialog 102). The run's thread keeps its
// messages flowing while it works: the pauses between steps and the waits
// for long phases handle them, so the window paints and stays responsive.
#include "driver/ui/user_interface.h"

#include "base/startup_state.h"
#include "resources/resource.h"

#include <commctrl.h>

namespace {

// Over the caller's window when there is a visible one, else over the work
// area of the screen.
void CentreWindow(HWND window, HWND caller)
{
    RECT area;
    if (!caller || !IsWindowVisible(caller) || IsIconic(caller) || !GetWindowRect(caller, &area))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    SetWindowPos(window, 0, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PumpMessages(void)
{
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        char caption[MAX_PATH];
        SetWindowTextA(window, LoadText(IDS_CAPTION_INSTALL, caption, MAX_PATH));
        SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETPOS, 0, 0);
        SendDlgItemMessageA(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 8));
        CentreWindow(window, (HWND)lParam);
        return 1;
    }
    case WM_COMMAND:  // Esc among them: a run is never cut off in the middle of a phase
    case WM_CLOSE:
        return 1;
    default:
        return 0;
    }
}

HWND OpenProgressWindow(HWND caller)
{
    HWND window = CreateDialogParamA(g_startup.instance, MAKEINTRESOURCEA(IDD_PROGRESS), 0,
                                     ProgressDlgProc, (LPARAM)caller);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }
    return window;
}

void SetProgress(HWND window, int position, int pause)
{
    SendMessageA(GetDlgItem(window, IDC_PROGRESS), PBM_SETPOS, (WPARAM)position, 0);
    if (pause)
        WaitHandlingMessages(0, 50);
}

DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds)
{
    DWORD count = handle ? 1 : 0;
    DWORD start = GetTickCount();
    for (;;) {
        // Only messages that arrive after the last look wake the wait below.
        PumpMessages();
        DWORD elapsed = GetTickCount() - start;
        DWORD left = milliseconds == INFINITE ? INFINITE
                     : elapsed >= milliseconds ? 0
                                               : milliseconds - elapsed;
        DWORD result = MsgWaitForMultipleObjects(count, &handle, FALSE, left, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + count)
            return result;
    }
}

void CloseProgressWindow(HWND window)
{
    if (window)
        DestroyWindow(window);
}
