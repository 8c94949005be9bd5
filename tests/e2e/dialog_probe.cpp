// Shows dialog 101 or 102 the way setup.exe does (its resources, manifest and
// dialog procedures are linked in), saves a screenshot as a BMP file and
// writes, per control, the room its text has and the width the text needs.
// Usage: dialog_probe <101|102> <bmp file> <report file>. The exit code is the
// number of controls whose text does not fit or that leave the dialog.
#include "driver/install_plan.h"
#include "driver/startup_state.h"
#include "driver/ui/user_interface.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int SaveBitmap(HWND window, const char *path)
{
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof(info), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    DWORD bytes = stride * (DWORD)height;
    unsigned char *pixels = (unsigned char *)malloc(bytes);
    int ok = pixels && GetDIBits(memory, bitmap, 0, (UINT)height, pixels, (BITMAPINFO *)&info,
                                 DIB_RGB_COLORS) == height;
    FILE *file = ok ? fopen(path, "wb") : 0;
    if (file) {
        BITMAPFILEHEADER header = {0x4D42, (DWORD)(sizeof(header) + sizeof(info) + bytes), 0, 0,
                                   (DWORD)(sizeof(header) + sizeof(info))};
        ok = fwrite(&header, sizeof(header), 1, file) == 1 && fwrite(&info, sizeof(info), 1, file) == 1 &&
             fwrite(pixels, bytes, 1, file) == 1;
        fclose(file);
    }
    free(pixels);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return file && ok;
}

int IsCheckBox(HWND control)
{
    LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// 1 when the control and its text fit; one report line either way.
int CheckControl(HWND dialog, HWND control, FILE *report)
{
    char text[256] = {0};
    char kind[64] = {0};
    GetWindowTextA(control, text, sizeof(text));
    GetClassNameA(control, kind, sizeof(kind));
    RECT box;
    RECT inside;
    GetWindowRect(control, &box);
    MapWindowPoints(0, dialog, (POINT *)&box, 2);
    GetClientRect(dialog, &inside);
    int placed = box.left >= 0 && box.top >= 0 && box.right <= inside.right &&
                 box.bottom <= inside.bottom;
    int room = box.right - box.left;
    int needed = 0;
    // Edit controls scroll their text, and a progress bar shows none.
    int shown = text[0] && IsWindowVisible(control) && lstrcmpiA(kind, "Edit") != 0 &&
                lstrcmpiA(kind, PROGRESS_CLASSA) != 0;
    if (shown) {
        HDC dc = GetDC(control);
        HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0));
        RECT extent = {0, 0, 0, 0};
        DrawTextA(dc, text, -1, &extent, DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        needed = extent.right;
        if (lstrcmpiA(kind, "Button") == 0)
            room -= IsCheckBox(control) ? GetSystemMetrics(SM_CXMENUCHECK) + 2
                                        : 4 * GetSystemMetrics(SM_CXEDGE);
    }
    int fits = placed && needed <= room;
    fprintf(report, "%d %s \"%s\" room=%d text=%d %s\n", GetDlgCtrlID(control), kind, text, room,
            needed, fits ? "fits" : "CLIPPED");
    return fits;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return 100;
    InitCommonControls();
    g_startup.instance = GetModuleHandleA(0);
    static InstallPlan plan;
    plan.flags = RUNOPT_INSTALL | RUNOPT_FRESH_INSTALL;
    plan.radarChoice = 1;
    lstrcpyA(plan.targetFolder, "C:\\Program Files\\Dorsel");
    HWND dialog = atoi(argv[1]) == 101
                      ? CreateDialogParamA(g_startup.instance, MAKEINTRESOURCEA(101), 0,
                                           TargetFolderDlgProc, (LPARAM)&plan)
                      : OpenProgressWindow();
    if (!dialog)
        return 101;
    SetProgress(dialog, 3, 0);  // the progress window: a bar part way (no effect on 101)
    ShowWindow(dialog, SW_SHOW);
    RedrawWindow(dialog, 0, 0, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    GdiFlush();
    FILE *report = fopen(argv[3], "w");
    if (!report)
        return 102;
    int clipped = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        clipped += !CheckControl(dialog, child, report);
    fclose(report);
    int saved = SaveBitmap(dialog, argv[2]);
    DestroyWindow(dialog);
    return saved ? clipped : 103;
}
