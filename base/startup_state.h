// Process-wide values that start-up records once and the whole run reads.
#ifndef BASE_STARTUP_STATE_H
#define BASE_STARTUP_STATE_H

#include "base/machine_info.h"

#include <windows.h>

struct XmlDocument;  // the XML engine's tree; only its address is kept here

struct StartupState {
    HINSTANCE instance;
    MachineInfo machine;               // system language ids
    HMODULE unicodeLayer;              // "unicows.dll" on Windows 9x
    char setupFolder[MAX_PATH];        // folder of the running setup program
    char scriptPath[MAX_PATH];         // "ZynSetup.dat"
    char descriptorPath[MAX_PATH];     // "Dorsel.zyn" or "VAKZYN.xml"
    XmlDocument *document;             // the parsed XML-form descriptor
    int descriptorMode;                // an install reads the XML form; outlives the tree
};

extern StartupState g_startup;

#endif
