// Process-wide values that start-up records once and the whole run reads.
#ifndef BASE_STARTUP_STATE_H
#define BASE_STARTUP_STATE_H

#include <windows.h>

struct StartupState {
    HINSTANCE instance;
    HMODULE unicodeLayer;  // "unicows.dll" on Windows 9x
};

extern StartupState g_startup;

#endif
