// Inside the files floor only: the Payload list and the lists of paths made
// from it, the shell's file operations over them, and the staging folders an
// install copies the payload into before it moves the files into place.
#ifndef FILES_STAGING_H
#define FILES_STAGING_H

#include "files/files.h"
#include "places/places.h"
#include "source/setup_source.h"

#include <shellapi.h>
#include <windows.h>

enum PayloadColumn { SOURCE_NAME, INSTALLED_NAME };

// The file name of payload row `row` (0 to PAYLOAD_FILE_COUNT - 1) beside the
// setup program or as installed, with the XML-form descriptor when `xml` is set.
const char *PayloadName(int row, PayloadColumn column, int xml);

// Each source goes to its own destination, without a progress window, and
// existing files are replaced without a question; deletions skip the
// recycle bin.
const FILEOP_FLAGS kCopyFlags =
    FOF_MULTIDESTFILES | FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
const FILEOP_FLAGS kDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION;

// Appends "prefix" + "separator" + "name"; fails rather than overrun the list.
int AppendPath(PathList *list, const char *prefix, const char *separator, const char *name);
void ClearList(PathList *list);
// One path per row; row 1 in `firstFolder` when given, every other in `folder`.
int BuildList(PathList *list, const char *folder, const char *firstFolder, PayloadColumn column,
              int xml);
// Row 1 in the Windows folder, the other rows in `folder`.
int BuildFinalList(PathList *list, const char *folder, int xml);
// The size of a file, which must be no folder and below 4 GB.
int FileSize(const char *path, DWORD *size);
// The line of WININIT.INI that deletes `path` at the next start; a file
// already gone needs none.
int AppendDeletionLine(PathList *lines, const char *path);
// Whether the shell reports the whole operation done, logged with its lists.
int ShellOperation(HWND owner, UINT operation, const char *from, const char *to,
                   FILEOP_FLAGS flags);
// The payload's entries in the bundle, in the rows' order; 0 when one is missing.
int FindPayloadEntries(const SetupBundle *bundle, int xml,
                       const BundleEntry *entries[PAYLOAD_FILE_COUNT]);

// Installs the payload into `folder`, or removes it (see TransferPayload);
// `quiet` holds FOF_NOERRORUI for a silent run.
int InstallPayload(HWND owner, const PayloadSource *source, const char *folder, int deferred,
                   FILEOP_FLAGS quiet);
int RemovePayload(HWND owner, const char *folder, int xml, int deferred, FILEOP_FLAGS quiet);

// Deletes a staged copy whose move into place was taken back, and its folder
// when that leaves it empty. A file outside a staging folder is left alone.
void RemoveStagedCopy(const char *path);
// 1 for a folder name this program gives its staging folders.
int IsStagingFolderName(const char *name);

#endif
