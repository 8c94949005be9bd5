// The payload's names, and the staging folders an install copies the payload
// into before it moves the files into place: inside the files floor only.
#ifndef FILES_STAGING_H
#define FILES_STAGING_H

#include "files/files.h"

#include <windows.h>

enum PayloadColumn { SOURCE_NAME, INSTALLED_NAME };

// The file name of payload row `row` (0 to PAYLOAD_FILE_COUNT - 1) beside the
// setup program or as installed, with the XML-form descriptor when `xml` is set.
const char *PayloadName(int row, PayloadColumn column, int xml);

// A new folder in the temporary folder for this run only, named "zyn" and 16
// hexadecimal digits that cannot be guessed, into `folder` (MAX_PATH
// characters). On NT only Administrators and SYSTEM may use it.
int CreateStagingFolder(char *folder);
// Deletes the payload files of a staging folder, then the folder if that left
// it empty. Nothing else in it is touched.
void RemoveStagingFolder(const char *folder);
// Deletes a staged copy whose move into place was taken back, and its folder
// when that leaves it empty. A file outside a staging folder is left alone.
void RemoveStagedCopy(const char *path);
// 1 for a folder name this program gives its staging folders.
int IsStagingFolderName(const char *name);

// Taking back pending moves or deletions (in the restart list or in
// WININIT.INI): the places whose entries go, and for moves the list that
// gets their sources.
struct Withdrawal {
    PlaceSet places;
    PathList *sources;  // null for deletions
    int more;           // a move was left: its source did not fit in `sources`
};
// 1 when a move onto one of the places, from `source`, is taken back: its
// source in its long form (the staging folder's name shows there) fits in
// `sources`, or there is no list. Otherwise the move stays for a later call,
// once these sources are gone, and `more` is set.
int TakeBackMove(Withdrawal *withdrawal, const char *source);

// A folder opened to be held: without delete sharing (the read access makes
// the system keep to it: a handle with only attribute rights takes no part
// in sharing checks), so that it cannot be renamed or replaced while the
// handle is open, and a link at its last step opened as itself.
HANDLE OpenFolderToHold(const char *path);
// 1 when the open `held` is a folder of its own: no junction or link.
int IsFolderOfItsOwn(HANDLE held);

#endif
