// Start-up: what the whole run reads afterwards. A program that carries a
// bundle reads its setup data from its own file only; any other reads it
// from beside itself, never from the search path.
#include "driver/setup_driver.h"

#include "base/format.h"
#include "base/log.h"
#include "base/system_version.h"
#include "files/files.h"
#include "places/places.h"
#include "source/setup_source.h"
#include "script/setup_script.h"
#include "xml/xml.h"

#include <string.h>

namespace {

const DWORD kReadChunk = 260;

int FindBesideProgram(const SetupSource *source, const char *name, char *path)
{
    return FindFileInFolder(source->folder, name, path) == PATH_FILE;
}

int RecordSetupFolder(SetupSource *source)
{
    lstrcpynA(source->folder, source->program, MAX_PATH);
    char *cut = strrchr(source->folder, '\\');
    if (!cut)
        return 0;
    *cut = 0;
    return 1;
}

// Reads the whole file into a block that keeps at least 260 zero bytes
// behind the data, and parses it.
int ReadXmlDescriptor(SetupSource *source)
{
    HANDLE file = CreateFileA(source->descriptorPath, GENERIC_READ, FILE_SHARE_READ, 0,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, 0);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char *block = (char *)LocalAlloc(LMEM_ZEROINIT, kReadChunk);
    DWORD total = 0;
    int ok = block != 0;
    while (ok) {
        DWORD read = 0;
        if (!ReadFile(file, block + total, kReadChunk, &read, 0)) {
            ok = 0;
            break;
        }
        if (read == 0)
            break;
        total += read;
        if (total > 0x7FFFFFFF - 2 * kReadChunk) {
            ok = 0;
            break;
        }
        if (LocalSize(block) < total + kReadChunk) {
            char *grown = (char *)LocalReAlloc(block, LocalSize(block) + kReadChunk,
                                               LMEM_MOVEABLE | LMEM_ZEROINIT);
            if (!grown) {
                ok = 0;
                break;
            }
            block = grown;
        }
    }
    if (ok)
        source->document = ParseDocument(block, (int32_t)total, 0);
    if (block)
        LocalFree(block);
    CloseHandle(file);
    return ok && source->document;
}

// The Setup script and the descriptor beside the program: "Dorsel.zyn" when
// it is an INI descriptor, else "VAKZYN.xml", parsed.
int FindSetupFiles(SetupSource *source)
{
    if (!FindBesideProgram(source, "ZynSetup.dat", source->scriptPath))
        return 0;
    if (FindBesideProgram(source, "Dorsel.zyn", source->descriptorPath) &&
        HasIniDescriptor(source->descriptorPath))
        return 1;
    if (!FindBesideProgram(source, "VAKZYN.xml", source->descriptorPath) ||
        !ReadXmlDescriptor(source))
        return 0;
    source->xmlDescriptor = 1;
    return 1;
}

// The bundle's file `entry` decoded into the private folder as `name`; with
// `held`, held open for the run: read by all, changed or deleted by none,
// so that the stale-folder clean-up of another run leaves it too.
int DecodeIntoFolder(SetupSource *source, const char *entry, const char *name, char *path,
                     HANDLE *held)
{
    const BundleEntry *found = FindBundleEntry(&source->bundle.index, entry);
    if (!found) {
        LogLine("bundle: %s missing", entry);
        return DECODE_DAMAGED;
    }
    if (!FormatText(path, MAX_PATH, "%s\\%s", source->folder, name))
        return DECODE_FAILED;
    int result = DecodeBundleFile(&source->bundle, found, path);
    if (result == DECODE_DONE && held) {
        *held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        if (*held == INVALID_HANDLE_VALUE) {
            *held = 0;
            return DECODE_FAILED;
        }
    }
    return result;
}

// The bundle's script and descriptor, with the names an install gives them,
// chosen as beside a program: the INI form when "Dorsel.zyn" is one.
int DecodeSetupFiles(SetupSource *source)
{
    int result = DecodeIntoFolder(source, "ZynSetup.dat", "ZynSetup.dat", source->scriptPath,
                                  &source->held[0]);
    if (result != DECODE_DONE)
        return result;
    if (FindBundleEntry(&source->bundle.index, "Dorsel.zyn")) {
        result = DecodeIntoFolder(source, "Dorsel.zyn", "ZynSetup.ini", source->descriptorPath,
                                  &source->held[1]);
        if (result != DECODE_DONE || HasIniDescriptor(source->descriptorPath))
            return result;
        CloseHandle(source->held[1]);
        source->held[1] = 0;
    }
    result = DecodeIntoFolder(source, "VAKZYN.xml", "ZynSetup.xml", source->descriptorPath,
                              &source->held[1]);
    if (result != DECODE_DONE)
        return result;
    source->xmlDescriptor = 1;
    return ReadXmlDescriptor(source) ? DECODE_DONE : DECODE_FAILED;
}

// Windows 9x: the Unicode layer the bundle carries, loaded from the private
// folder by its full path.
int LoadBundledUnicodeLayer(SetupSource *source)
{
    char path[MAX_PATH];
    int result = DecodeIntoFolder(source, "unicows.dll", "unicows.dll", path, 0);
    if (result != DECODE_DONE)
        return result;
    source->unicodeLayer = LoadLibraryA(path);
    return source->unicodeLayer ? DECODE_DONE : DECODE_FAILED;
}

// What is decoded before the plan, in the private folder; then every payload
// file must be there for the descriptor's form.
int DecodeBeforeThePlan(SetupSource *source)
{
    int result = IsNtPlatform() ? DECODE_DONE : LoadBundledUnicodeLayer(source);
    if (result == DECODE_DONE)
        result = DecodeSetupFiles(source);
    if (result == DECODE_DONE && !HasBundledPayload(&source->bundle, source->xmlDescriptor))
        result = DECODE_DAMAGED;
    return result;
}

} // namespace

int InitSetupRun(RunOptions options, SetupSource *source, int *damaged)
{
    LANGID language = GetSystemDefaultLangID();
    source->machine.systemLanguageId = language;
    source->machine.systemPrimaryLanguage = (uint16_t)(language & 0x3FF);
    // Every run's: an elevated copy is started by this path, an uninstall's too.
    source->programUnnamed = !ReadProgramPath(source->program);
    if (source->programUnnamed)
        return 0;
    if (!(options & RUNOPT_INSTALL))
        return 1;
    if (!RecordSetupFolder(source))
        return 0;
    int bundle = OpenProgramBundle(source->program, &source->bundle);
    if (bundle != BUNDLE_NONE) {
        source->bundled = 1;
        source->folder[0] = 0;  // nothing beside the program is read
        *damaged = bundle == BUNDLE_REFUSED;
        return bundle == BUNDLE_FOUND;
    }
    if (!IsNtPlatform()) {
        source->unicodeLayer = LoadLibraryA("unicows.dll");
        if (!source->unicodeLayer)
            return 0;
    }
    return FindSetupFiles(source);
}

int ReadBundledSetupFiles(SetupSource *source, int *damaged)
{
    if (!IsRunningImageFile(source->bundle.file)) {
        LogLine("bundle: %s is not the file this program runs from", source->program);
        *damaged = 1;
        return 0;
    }
    // The checksum pass reads and sums the whole data meanwhile; the thread
    // never outlives it.
    StartReadingCriticalPlaces();
    int checked = CheckBundleData(&source->bundle);
    FinishReadingCriticalPlaces();
    if (!checked) {
        *damaged = 1;
        return 0;
    }
    if (!CreateStagingFolder(source->folder))
        return 0;
    int result = DecodeBeforeThePlan(source);
    *damaged = result == DECODE_DAMAGED;
    return result == DECODE_DONE;
}

void ReleaseStartupData(SetupSource *source)
{
    if (source->document) {
        FreeDocument(source->document);
        source->document = 0;
    }
    if (source->unicodeLayer) {
        FreeLibrary(source->unicodeLayer);
        source->unicodeLayer = 0;
    }
}

void ReleaseSetupSource(SetupSource *source)
{
    ReleaseStartupData(source);  // on 9x a loaded Unicode layer could not be deleted
    for (int i = 0; i < SETUP_HELD_FILES; ++i)
        if (source->held[i]) {
            CloseHandle(source->held[i]);
            source->held[i] = 0;
        }
    if (source->bundled && source->folder[0]) {
        RemoveStagingFolder(source->folder);
        source->folder[0] = 0;
    }
    CloseProgramBundle(&source->bundle);
}
