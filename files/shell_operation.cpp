// Kept in a file of its own so that tests can link a shell operation that
// reports or leaves something other than what was asked.
#include "files/files.h"

#include <shellapi.h>

int RunShellFileOperation(SHFILEOPSTRUCTA *request)
{
    return SHFileOperationA(request);
}
