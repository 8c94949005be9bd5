// The search folders and the download folder of an install, from the
// ";"-separated lists of the Setup script.
#ifndef DRIVER_FOLDER_LISTS_H
#define DRIVER_FOLDER_LISTS_H

#include "base/run_options.h"

// Registers every folder of the script's search list (a failure does not stop
// the others). When none of them is a writable folder, settles the download
// folder from the script's download list: the first candidate that does not
// exist yet is created and registered. `searchList`, `downloadList` and
// `downloadFolder` are MAX_PATH-character buffers of the caller; the lists
// are split in place, and `downloadFolder` keeps its text when no list
// replaces it. Returns 0 when a search folder failed to register, else 1
// (also when the script has no search list).
int RegisterSearchFolders(RunOptions options, char *searchList, char *downloadList,
                          char *downloadFolder);

#endif
