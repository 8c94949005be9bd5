// Replacing files at the next Windows start: the pending operations of the
// NT family (delayed moves and deletions) and the "rename" section of
// WININIT.INI on Windows 9x. An install registers its files here while the
// application runs; an uninstall, and an install after an uninstall, take
// back what would undo them. Entries are compared as places (PlaceKey), so
// any spelling of a file counts.
#ifndef RESTART_RESTART_H
#define RESTART_RESTART_H

#include "places/places.h"

#include <windows.h>

// Operations registered for the next Windows start on the NT family: a move,
// or a deletion when `to` is null. Kept apart so that tests can make one fail.
int RegisterRestartOperation(const char *from, const char *to);
// Takes back every pending deletion of the paths in the multi-string `paths`
// (at most 16), compared as places (see PlaceKey): any spelling of the same
// file counts. Nonzero when none is left pending.
int WithdrawRestartDeletions(const char *paths);
// Takes back the pending moves onto the paths in `paths` (at most 16) whose
// sources fit in `sources`, and adds those sources to it; `more` tells
// whether moves were left for another call because the list was full.
// Nonzero when the list of pending operations was written (or unchanged).
int WithdrawRestartMoves(const char *paths, PathList *sources, int *more);
// Whether a pending operation takes a file from within `folder`.
int IsPendingRestartSource(const char *folder);

// Windows 9x: adds lines to the "rename" section of WININIT.INI, keeping what
// is there; sets (or, with a null value, removes) one "key=value" line; takes
// back the "NUL=" lines of `paths` (at most 16), and the moves onto them
// whose sources fit in `sources` (as WithdrawRestartMoves does); tells
// whether a line names a file within `folder`.
int AppendRenameLines(const char *lines);
int WriteRenameEntry(const char *key, const char *value);
int WithdrawRenameDeletions(const char *paths);
int WithdrawRenameMoves(const char *paths, PathList *sources, int *more);
int IsPendingRenameSource(const char *folder);
// The short (8.3) form of a path, or of a file not there yet: its folder's
// short form and its name. `shortPath` holds 260 characters.
int ShortPathOfFile(const char *path, char *shortPath);
int ShortPathOfNewFile(const char *path, char *shortPath);

// Taking back pending moves or deletions (in the restart list or in
// WININIT.INI): the places whose entries go, and for moves the list that
// gets their sources. Inside this floor only.
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
// Logs what a withdrawal from `list` ("restart:", "WININIT.INI [rename]") of
// `what` ("pending deletions", "moves") gave, with the paths of `paths`;
// returns `ok`.
int LogWithdrawal(const char *list, const char *what, int ok, const char *paths);

#endif
