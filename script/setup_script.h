// The INI reader of the Setup script "ZynSetup.dat" and of the INI-form
// Package descriptor "Dorsel.zyn", with %KEY% indirection through the
// per-language "STRINGS" sections.
#ifndef SCRIPT_SETUP_SCRIPT_H
#define SCRIPT_SETUP_SCRIPT_H

#include "source/setup_source.h"

// Every folder and list buffer below is MAX_PATH characters, the terminator
// included. The readers return 0 when the script has no such value; a value
// is read as the system gives it (GetPrivateProfileString cuts a long one).
// `source` names the script and the descriptor, the parsed XML descriptor,
// and the system language the %KEY% indirection picks strings by.

// The value of `key` in `section` of the INI file `file` into `output` of
// `size` characters (at most MAX_PATH; a size outside 1..MAX_PATH counts as
// MAX_PATH). A value "%NAME%" is looked up as NAME in "STRINGS.<language id>",
// then "STRINGS.<primary language>", then "STRINGS". Returns the length of
// the text, 0 when there is none.
int ReadScriptValue(const SetupSource *source, const char *section, const char *key,
                    const char *defaultText, char *output, int size, const char *file);
// The program files folder joined with the script's "TARGET"; 0 when there
// is no target or the joined folder would not fit.
int GetDefaultTargetFolder(const SetupSource *source, char *folder);
// The ";"-separated lists "DEFAULTSEARCH" and "DOWNLOAD" of the script.
int ReadSearchFolderList(const SetupSource *source, char *list);
int ReadDownloadFolderList(const SetupSource *source, char *list);
// The product's name and version, from the XML descriptor when start-up read
// one, else from the INI descriptor.
int ReadReleaseInfo(const SetupSource *source, char *name, char *version);
// The start menu folder named by the script's "GROUP": "." the programs
// folder itself, "\..." below the start menu, anything else below the
// programs folder. 0 when there is no group or the folder would not fit.
int GetMenuGroupFolder(const SetupSource *source, char *folder);
// 1 when the script's "RADAR" names a "FILE", 2 when only an "ALTFILE", else 0.
int GetRadarChoice(const SetupSource *source);
// The optional [INIT] PUBLISHER; 0 and an empty text when there is none.
int ReadPublisher(const SetupSource *source, char *publisher);
// Nonzero when the file at `path` is an INI descriptor (it has "XRELEASE").
int HasIniDescriptor(const char *path);

#endif
