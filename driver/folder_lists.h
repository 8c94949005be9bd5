// The search folders and the download folder of an install, from the
// ";"-separated lists of the Setup script.
#ifndef DRIVER_FOLDER_LISTS_H
#define DRIVER_FOLDER_LISTS_H

#include "base/run_options.h"

struct SetupSource;

// Registers every folder of the search list of the Setup script of `source`
// (a failure does not stop the others). When none of them is a writable
// folder, settles the download folder from the script's download list: the
// first candidate that does not exist yet is created and registered.
// `downloadFolder` is a MAX_PATH-character buffer of the caller that keeps
// its text when no list replaces it. Returns 0 when a search folder failed to
// register, else 1 (also when the script has no search list).
int RegisterSearchFolders(RunOptions options, char *downloadFolder, const SetupSource *source);

#endif
