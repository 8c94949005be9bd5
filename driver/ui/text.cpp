// Texts of the program's string table, in the language the system chose.
// Kept in a file of its own: tests that replace the message boxes still read
// the real string table.
#include "driver/ui/user_interface.h"

#include "base/startup_state.h"

const char *LoadText(UINT id, char *buffer, int size)
{
    buffer[0] = 0;
    LoadStringA(g_startup.instance, id, buffer, size);
    return buffer;
}
