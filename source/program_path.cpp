// Kept in a file of its own so that tests can link a replacement that names
// another file than the one the program runs from.
#include "source/setup_source.h"

int ReadProgramPath(char *path)
{
    DWORD length = GetModuleFileNameA(0, path, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}
