// Process-wide values that start-up records once and the whole run reads.
#ifndef BASE_STARTUP_STATE_H
#define BASE_STARTUP_STATE_H

#include <windows.h>

struct StartupState {
    HINSTANCE instance;
};

extern StartupState g_startup;

#endif
