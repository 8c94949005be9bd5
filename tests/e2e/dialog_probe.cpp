// Shows dialog 101 or 102 as setup.exe does (its resources, manifest and
// dialog procedures are linked in), saves a screenshot and reports, per
// control, the room its text has and the width the text needs.
// Usage: dialog_probe <101|102> <bmp file> <report file>. Exit code: the
// number of controls whose text does not fit or that leave the dialog.
#include "driver/install_plan.h"
#include "base/startup_state.h"
#include "driver/ui/user_interface.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

namespace {

int SaveScreenshot(HWND window, const char *path)
{
    RECT frame;
    GetWindowRect(window, &frame);
    BITMAPINFOHEADER info = {sizeof(info), frame.right - frame.left, frame.bottom - frame.top,
                             1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    std::string pixels(((info.biWidth * 3 + 3) & ~3) * info.biHeight, '\0');
    int ok = GetDIBits(memory, bitmap, 0, info.biHeight, &pixels[0], (BITMAPINFO *)&info,
                       DIB_RGB_COLORS) == info.biHeight;
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(info);
    BITMAPFILEHEADER header = {0x4D42, offset + (DWORD)pixels.size(), 0, 0, offset};
    FILE *file = fopen(path, "wb");
    ok = ok && file && fwrite(&header, sizeof(header), 1, file) &&
         fwrite(&info, sizeof(info), 1, file) && fwrite(pixels.data(), pixels.size(), 1, file);
    if (file)
        fclose(file);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return ok;
}

// 1 when the control lies within the dialog and its text fits; reported either way.
int CheckControl(HWND dialog, HWND control, FILE *report)
{
    char text[256] = {0};
    char kind[64] = {0};
    GetWindowTextA(control, text, sizeof(text));
    GetClassNameA(control, kind, sizeof(kind));
    RECT box, inside;
    GetWindowRect(control, &box);
    MapWindowPoints(0, dialog, (POINT *)&box, 2);
    GetClientRect(dialog, &inside);
    int room = box.right - box.left;
    RECT extent = {0, 0, 0, 0};
    // An edit control scrolls its text; a progress bar shows none.
    if (IsWindowVisible(control) && lstrcmpiA(kind, "Edit") && lstrcmpiA(kind, PROGRESS_CLASSA)) {
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0));
        DrawTextA(dc, text, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
        if (!lstrcmpiA(kind, "Button"))  // less the box of a check box, the frame of a button
            room -= type >= BS_CHECKBOX && type <= BS_AUTO3STATE
                        ? GetSystemMetrics(SM_CXMENUCHECK) + 2
                        : 4 * GetSystemMetrics(SM_CXEDGE);
    }
    int fits = box.left >= 0 && box.top >= 0 && box.right <= inside.right &&
               box.bottom <= inside.bottom && extent.right <= room;
    fprintf(report, "%d %s \"%s\" room=%d text=%ld %s\n", GetDlgCtrlID(control), kind, text, room,
            extent.right, fits ? "fits" : "CLIPPED");
    return fits;
}

} // namespace

int main(int argc, char **argv)
{
    FILE *report = argc == 4 ? fopen(argv[3], "w") : 0;
    if (!report)
        return 100;
    InitCommonControls();
    g_startup.instance = GetModuleHandleA(0);
    static InstallPlan plan;
    plan.flags = RUNOPT_INSTALL | RUNOPT_FRESH_INSTALL;
    plan.radarChoice = 1;
    lstrcpyA(plan.targetFolder, "C:\\Program Files\\Dorsel");
    HWND dialog = atoi(argv[1]) == 101 ? CreateDialogParamA(g_startup.instance, MAKEINTRESOURCEA(101),
                                                            0, TargetFolderDlgProc, (LPARAM)&plan)
                                       : OpenProgressWindow(0);
    SetProgress(dialog, 3, 0);
    ShowWindow(dialog, SW_SHOW);
    RedrawWindow(dialog, 0, 0, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    int clipped = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        clipped += !CheckControl(dialog, child, report);
    fclose(report);
    return dialog && SaveScreenshot(dialog, argv[2]) ? clipped : 101;
}
