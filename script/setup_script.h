// The INI reader of the Setup script "ZynSetup.dat" and of the INI-form
// Package descriptor "Dorsel.zyn", with %KEY% indirection through the
// per-language "STRINGS" sections.
#ifndef SCRIPT_SETUP_SCRIPT_H
#define SCRIPT_SETUP_SCRIPT_H

int ReadScriptValue(const char *section, const char *key, const char *defaultText, char *output,
                    int size, const char *file);
int GetDefaultTargetFolder(char *folder);
int ReadSearchFolderList(char *list);
int ReadDownloadFolderList(char *list);
int ReadReleaseInfo(char *name, char *version);
int GetMenuGroupFolder(char *folder);
int GetRadarChoice(void);
// The optional [INIT] PUBLISHER; 0 and an empty text when there is none.
int ReadPublisher(char *publisher);
int HasIniDescriptor(const char *path);

#endif
