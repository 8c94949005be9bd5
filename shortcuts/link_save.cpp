// Kept in a file of its own so that tests can link a save that fails.
#include "shortcuts/shortcuts.h"

#include <objbase.h>
#include <objidl.h>

HRESULT SaveLinkFile(IPersistFile *file, const char *path)
{
    wchar_t widePath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        return HRESULT_FROM_WIN32(GetLastError());
    return file->Save(widePath, TRUE);
}
