// Paths as the system names the place behind an open handle: full, in long
// names, without a device prefix ("\\?\") or trailing backslashes (a root
// keeps its own). Comparing that final path with the path a file or folder
// was opened by tells whether a link on the way led elsewhere.
#ifndef BASE_FINAL_PATH_H
#define BASE_FINAL_PATH_H

#include <windows.h>

// The length of the root that a path cannot be cut above: "C:\" or
// "\\server\share"; 0 when there is none.
size_t RootLength(const char *path);
// Drops the backslashes that end `path`, short of its root.
void DropTrailingBackslashes(char *path);
// "\\?\", "\\.\" and "\??\" before a drive path or "UNC\" name the plain
// path, written to `plain` (MAX_PATH characters). 0 for any other device
// path ("\\.\PhysicalDrive0"), which is no place of files, or one too long.
int DropDevicePrefix(const char *path, char *plain);
// The path the system resolves the open file or folder `place` to, links
// followed, into `path` (MAX_PATH characters); 0 where the system cannot say
// (before Vista, see CanTellFinalPaths) or fails to.
int FinalPathOf(HANDLE place, char *path);
// 1 on systems that tell final paths (Vista and later).
int CanTellFinalPaths(void);
// 1 when the system resolves the open `held` to `named`, the path it was
// opened by, spelled out in full and in long names: no link on the way led
// elsewhere. `spelled` (MAX_PATH characters) keeps that spelling for the
// next call; "" makes it read again. Where the system cannot tell final
// paths, 1: the caller's own tests of the file or folder stand alone.
int IsOpenWhereNamed(HANDLE held, const char *named, char *spelled);

#endif
