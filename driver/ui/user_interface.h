// What the user sees of a run: the progress window, message boxes, the
// restart prompt, and the target-folder dialog with its folder browser.
#ifndef DRIVER_UI_USER_INTERFACE_H
#define DRIVER_UI_USER_INTERFACE_H

#include <windows.h>

struct InstallPlan;

// Shown centred over the caller's window (none: over the screen) and painted.
HWND OpenProgressWindow(HWND caller);
// Moves the bar; with `pause` it then waits 50 ms, handling window messages.
void SetProgress(HWND window, int position, int pause);
void CloseProgressWindow(HWND window);
// Waits for `handle` (none: only the time) while the thread's windows go on
// handling their messages; returns what MsgWaitForMultipleObjects returned.
DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds);

int ShowMessage(HWND owner, const char *text, const char *caption, UINT style);
void PromptForRestart(void);

// Runs the modal target-folder dialog on the plan; returns the dialog's result.
INT_PTR AskTargetFolder(InstallPlan *plan);

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TargetFolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int BrowseForTargetFolder(char *folder, HWND owner);
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);

#endif
