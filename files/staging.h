// The payload's names, and the staging folders an install copies the payload
// into before it moves the files into place: inside the files floor only.
#ifndef FILES_STAGING_H
#define FILES_STAGING_H

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

#endif
