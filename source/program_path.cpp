// Kept in a file of its own so that tests can link a replacement that names
// another file than the one the program runs from.
#include "source/setup_source.h"

#include "base/ansi_path.h"

int ReadProgramPath(char *path)
{
    return ReadProgramFile(path);
}
