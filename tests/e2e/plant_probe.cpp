// Loads "shfolder.dll" by name without any search restriction: shows that a
// planted copy beside a program, or in its current folder, would be loaded.
#include <windows.h>

int main()
{
    return LoadLibraryA("shfolder.dll") ? 0 : 1;
}
