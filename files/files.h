// The payload: the twelve files an install copies (or decodes from the
// bundle) into a private staging folder and then moves into place, at once
// or at the next Windows start, and an uninstall removes again; and the
// staging folders themselves, the bundle's private setup folder among them.
// Every operation returns nonzero for success.
#ifndef FILES_FILES_H
#define FILES_FILES_H

#include "base/run_options.h"

#include <windows.h>

enum {
    PAYLOAD_FILE_COUNT = 12,
    // The longest name of a file that an install works on in its folder: a
    // stale "dorsel.exe.manifest" goes (see RemoveOutdatedFiles), longer
    // than every payload name. A folder leaves room for it within MAX_PATH.
    LONGEST_FOLDER_FILE_NAME = 19
};

struct SetupBundle;

// Where an install takes the payload from: the folder of the running setup
// program, or the bundle it carries, and the form of the Package descriptor,
// whose file has other names in each form (an uninstall reads only the form;
// below 0 when it could not be told, which stops the uninstall of the files).
struct PayloadSource {
    const char *setupFolder;
    int xmlDescriptor;
    const SetupBundle *bundle;  // null: the folder
};

// Installs the payload from `source` into `folder` (the uninstaller into the
// Windows folder), or removes it without RUNOPT_INSTALL in `options`; with
// `deferred` the files are replaced or deleted at the next Windows start.
// The files are staged first: copied from the folder, or decoded from the
// bundle with each file's size and content checksum checked; nothing moves
// into place before every file has passed.
// Reads RUNOPT_INSTALL, and RUNOPT_SILENT, under which the shell shows no
// error box of its own.
int TransferPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                    RunOptions options);
// The payload's size as installed, in KB (rounded up): the sizes of the
// source files in the setup folder, or those the bundle's index states.
int MeasurePayload(const PayloadSource *source, DWORD *kilobytes);
// 1 when the bundle carries every payload file of the descriptor's form;
// else 0, with the first missing one logged.
int HasBundledPayload(const SetupBundle *bundle, int xmlDescriptor);

// Removes what earlier runs left in their staging folders in the current
// user's temporary folder: only folders named as this program names them,
// only files with payload names, only folders that end up empty, and never
// one that a pending restart operation still takes files from, nor
// `ownFolder` (this run's private folder of a bundle's files; null or "" for
// none).
void RemoveStaleStagingFolders(const char *ownFolder);
// A new folder in the temporary folder for this run only, named "zyn" and 16
// hexadecimal digits that cannot be guessed, into `folder` (MAX_PATH
// characters); on NT only Administrators and SYSTEM may use it. An install
// stages its payload in one, and a bundle's script and descriptor are
// decoded into one, so that the stale-folder clean-up treats either alike.
int CreateStagingFolder(char *folder);
// Deletes the payload files of a staging folder, then the folder if that left
// it empty. Nothing else in it is touched.
void RemoveStagingFolder(const char *folder);

// SHFileOperationA; kept apart so that tests can make the shell report or
// leave something other than what was asked.
struct _SHFILEOPSTRUCTA;
int RunShellFileOperation(_SHFILEOPSTRUCTA *request);

#endif
