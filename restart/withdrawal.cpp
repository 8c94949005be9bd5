// What pending moves and deletions an uninstall or install takes back, and
// where the sources of the moves it took back are listed, shared by the NT
// restart list and WININIT.INI.
#include "restart/restart.h"

#include "base/log.h"

int TakeBackMove(Withdrawal *withdrawal, const char *source)
{
    PlaceKey key;
    if (withdrawal->sources && ReadPlaceKey(source, &key) &&
        !AppendToList(withdrawal->sources, key.path)) {
        withdrawal->more = 1;
        return 0;
    }
    return 1;
}

int LogWithdrawal(const char *list, const char *what, int ok, const char *paths)
{
    LogLine("%s %s taken back: %d", list, what, ok);
    LogPathLists(paths, 0);
    return ok;
}
