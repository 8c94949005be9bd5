/* A Unicode layer of the tests' own for Windows 98 runs: the two conversion
   functions, handed on to the system's. */
#include <windows.h>

typedef int(WINAPI *ToWideFn)(UINT, DWORD, LPCSTR, int, LPWSTR, int);
typedef int(WINAPI *ToAnsiFn)(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, LPBOOL);

static FARPROC System(const char *name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

int WINAPI StubMultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                   LPWSTR destination, int destinationLength)
{
    return ((ToWideFn)(void *)System("MultiByteToWideChar"))(codePage, flags, source, sourceLength,
                                                            destination, destinationLength);
}

int WINAPI StubWideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                                   LPSTR destination, int destinationLength, LPCSTR defaultChar,
                                   LPBOOL usedDefault)
{
    return ((ToAnsiFn)(void *)System("WideCharToMultiByte"))(
        codePage, flags, source, sourceLength, destination, destinationLength, defaultChar,
        usedDefault);
}
