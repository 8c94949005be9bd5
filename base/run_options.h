// The Run options word: one 32-bit flags word steers a run, and every phase
// gets it. Without RUNOPT_INSTALL a phase works in the removal direction.
#ifndef BASE_RUN_OPTIONS_H
#define BASE_RUN_OPTIONS_H

typedef unsigned long RunOptions;

enum {
    RUNOPT_INSTALL = 0x1,
    RUNOPT_SILENT = 0x2,
    RUNOPT_RELAUNCH = 0x4,
    RUNOPT_HIDDEN = 0x100,
    RUNOPT_NO_REPORT = 0x200,
    RUNOPT_LOG = 0x800,             // "/L": the run writes its log
    RUNOPT_FRESH_INSTALL = 0x10000  // the Install plan's copy only
};

#endif
