// What the user sees of a run: the progress window, message boxes and their
// texts, the restart prompt, and the target-folder dialog with its folder
// browser. Every text comes from the program's string table.
#ifndef DRIVER_UI_USER_INTERFACE_H
#define DRIVER_UI_USER_INTERFACE_H

#include <windows.h>

struct InstallPlan;

// The string `id` of the program's string table in `buffer` of `size`
// characters, the terminator included; "" when the table has no such string.
// Returns `buffer`, so the text can be passed on directly.
const char *LoadText(UINT id, char *buffer, int size);

// The system's text for `error` in `text` (MAX_PATH characters, the
// terminator included), else "Failed in operation for initialization.".
void ErrorText(DWORD error, char *text);

// A message box; returns what MessageBoxA returns (0 when none could be shown).
int ShowMessage(HWND owner, const char *text, const char *caption, UINT style);
// Asks whether to restart Windows now; does nothing when the system has no
// such prompt.
void PromptForRestart(void);

// The modeless progress window with its bar at 0 of 8, centred over the
// caller's window (none: over the screen) and painted; null when it could not
// be created (the run then goes on without it). CloseProgressWindow ends it.
HWND OpenProgressWindow(HWND caller);
// Moves the bar; with `pause` it then waits 50 ms, handling window messages.
void SetProgress(HWND window, int position, int pause);
// Destroys the window; a null window is accepted.
void CloseProgressWindow(HWND window);
// Waits for `handle` (none: only the time) while the thread's windows go on
// handling their messages; returns what MsgWaitForMultipleObjects returned.
DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds);

// Drops the blanks around a folder and its trailing backslashes, except the
// one of a drive root ("C:\\").
void TidyTargetFolder(char *folder);

// Runs the modal target-folder dialog on the plan, which it updates on OK;
// returns IDOK, IDCANCEL or IDCLOSE, or -1 when
// the dialog could not be shown.
INT_PTR AskTargetFolder(InstallPlan *plan);

// The dialog procedures, given to the system.
INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TargetFolderDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Lets the user choose a folder; on 1 `folder` (MAX_PATH characters, the
// terminator included) holds the choice, on 0 it may hold the last valid
// folder the user selected.
int BrowseForTargetFolder(char *folder, HWND owner);
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);

#endif
