// The program's own file as a bundle: found, held, and proved to be the
// image that runs. Every read goes through the one held handle, at offsets
// the reader (bundle_index.cpp) has bounded below 2^31.
#include "source/setup_source.h"

#include "base/log.h"
#include "base/system_entry.h"
#include "base/system_library.h"
#include "base/system_version.h"

#include <string.h>

namespace {

const DWORD kHeadersSize = 4096;  // the PE headers and the section table

} // namespace

// The file pointer and the read that follows it are one step: the payload's
// files may be decoded on several threads through the one held handle.
int ReadFileAt(HANDLE file, uint32_t offset, void *buffer, DWORD length)
{
    static LONG busy;
    while (InterlockedExchange(&busy, 1))
        Sleep(0);
    DWORD read = 0;
    int ok = SetFilePointer(file, (LONG)offset, 0, FILE_BEGIN) == offset &&
             ReadFile(file, buffer, length, &read, 0) && read == length;
    InterlockedExchange(&busy, 0);
    return ok;
}

namespace {

// Where the data lies, from the headers of the open file.
int FindPlace(HANDLE file, BundlePlace *place)
{
    static unsigned char headers[kHeadersSize];
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE || high)
        return 0;
    DWORD length = size < kHeadersSize ? size : kHeadersSize;
    return ReadFileAt(file, 0, headers, length) && FindBundleData(headers, length, size, place);
}

// Why the index at file offset `at` was refused: the first entry the reader
// did not take (a bad name or size, a name again, a frame out of place), or,
// when it took them all, their frames, which end before the data does.
void LogIndexRefusal(const SetupBundle *bundle, uint32_t at)
{
    uint32_t taken = bundle->index.fileCount;
    if (taken < bundle->header.fileCount)
        LogLine("bundle: index entry %lu of %lu at offset %lu refused", (unsigned long)taken + 1,
                (unsigned long)bundle->header.fileCount,
                (unsigned long)(at + taken * BUNDLE_ENTRY_SIZE));
    else
        LogLine("bundle: index at offset %lu refused: its frames end before the data",
                (unsigned long)at);
}

// Header and index through the held handle.
int ReadHeaderAndIndex(SetupBundle *bundle, const BundlePlace *place)
{
    unsigned char header[BUNDLE_HEADER_SIZE];
    if (place->room < BUNDLE_HEADER_SIZE || !ReadFileAt(bundle->file, place->dataStart, header,
                                                     BUNDLE_HEADER_SIZE) ||
        !ReadBundleHeader(header, BUNDLE_HEADER_SIZE, place->room, &bundle->header)) {
        LogLine("bundle: header at offset %lu refused", (unsigned long)place->dataStart);
        return 0;
    }
    static unsigned char index[BUNDLE_MAX_FILES * BUNDLE_ENTRY_SIZE];
    const BundleHeader &read = bundle->header;
    uint32_t at = place->dataStart + read.indexOffset;
    if (!ReadFileAt(bundle->file, at, index, read.indexLength)) {
        LogLine("bundle: index at offset %lu cannot be read", (unsigned long)at);
        return 0;
    }
    if (!ReadBundleIndex(index, read.indexLength, &read, &bundle->index)) {
        LogIndexRefusal(bundle, at);
        memset(&bundle->index, 0, sizeof(bundle->index));  // none of it counts
        return 0;
    }
    return 1;
}

} // namespace

int OpenProgramBundle(const char *program, SetupBundle *bundle)
{
    memset(bundle, 0, sizeof(*bundle));
    // Held: read by all, written, renamed or deleted by none.
    HANDLE file = CreateFileA(program, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    int held = file != INVALID_HANDLE_VALUE;
    if (!held)  // another program writes it: still a plain setup.exe may run
        file = CreateFileA(program, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                           FILE_SHARE_DELETE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) {
        LogFailure("CreateFileA", program);
        return BUNDLE_REFUSED;
    }
    BundlePlace place;
    int found = FindPlace(file, &place);
    if (found && !HasBundleData(&place)) {
        CloseHandle(file);
        return BUNDLE_NONE;
    }
    bundle->file = file;
    if (!found || !held) {
        LogLine(found ? "bundle: %s cannot be held" : "bundle: %s has no readable sections",
                program);
        return BUNDLE_REFUSED;
    }
    bundle->dataStart = place.dataStart;
    return ReadHeaderAndIndex(bundle, &place) ? BUNDLE_FOUND : BUNDLE_REFUSED;
}

void CloseProgramBundle(SetupBundle *bundle)
{
    if (bundle->file)
        CloseHandle(bundle->file);
    bundle->file = 0;
}

namespace {

typedef DWORD(WINAPI *MappedFileNameFn)(HANDLE, LPVOID, LPWSTR, DWORD);

// The Win32 form of the NT path the system names a mapped file by: "\??\C:\x"
// (as Wine gives it) is "\\?\C:\x"; "\Device\HarddiskVolume2\x", a network
// redirector's path included, is opened through "\\?\GLOBALROOT".
int ToWin32Path(const wchar_t *name, wchar_t *path, size_t size)
{
    const wchar_t *prefix = 0;
    const wchar_t *rest = name;
    if (wcsncmp(name, L"\\??\\", 4) == 0) {
        prefix = L"\\\\?\\";
        rest = name + 4;
    } else if (wcsncmp(name, L"\\Device\\", 8) == 0) {
        prefix = L"\\\\?\\GLOBALROOT";
    }
    if (!prefix || wcslen(prefix) + wcslen(rest) >= size)
        return 0;
    lstrcpyW(path, prefix);
    lstrcatW(path, rest);
    return 1;
}

// The file the image of this process was mapped from, open to read its
// identity; INVALID_HANDLE_VALUE when it cannot be named or opened.
HANDLE OpenImageFile(MappedFileNameFn mapped)
{
    enum { NAME_SIZE = 2 * MAX_PATH };
    static wchar_t name[NAME_SIZE], path[NAME_SIZE + 16];
    DWORD length = mapped(GetCurrentProcess(), GetModuleHandleA(0), name, NAME_SIZE);
    if (length == 0 || length >= NAME_SIZE - 1 || !ToWin32Path(name, path, NAME_SIZE + 16))
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path, FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, OPEN_EXISTING,
                       0, 0);
}

int IsSameFile(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

// The name the system gives the image's file follows a rename on Windows,
// so a file swapped in under the program's path after the elevation prompt
// shows as another file. Where a system names the image by the path it was
// opened under (Wine does), a swap cannot be told here; the first copy's
// held handle, which keeps the path from being renamed or replaced, is the
// guard then.
int IsRunningImageFile(HANDLE file)
{
    if (!IsNtPlatform() || SystemVersion().dwMajorVersion < 6)
        return 1;
    MappedFileNameFn mapped =
        (MappedFileNameFn)LookupSystemEntry("kernel32.dll", "K32GetMappedFileNameW");
    if (!mapped)  // Vista: in psapi.dll
        mapped = (MappedFileNameFn)SystemLibraryEntry("psapi.dll", "GetMappedFileNameW");
    HANDLE image = mapped ? OpenImageFile(mapped) : INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION ours, running;
    int same = image != INVALID_HANDLE_VALUE && GetFileInformationByHandle(image, &running) &&
               GetFileInformationByHandle(file, &ours) && IsSameFile(ours, running);
    if (image != INVALID_HANDLE_VALUE)
        CloseHandle(image);
    return same;
}
