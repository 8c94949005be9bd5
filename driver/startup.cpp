// Start-up: what the whole run reads afterwards. The setup data is looked for
// beside the program only, never on the search path.
#include "driver/setup_driver.h"

#include "base/startup_state.h"
#include "base/system_version.h"
#include "files/files.h"
#include "script/setup_script.h"
#include "xml/xml.h"

#include <string.h>

namespace {

const DWORD kReadChunk = 260;

int FindBesideProgram(const char *name, char *path)
{
    return FindFileInFolder(g_startup.setupFolder, name, path) == PATH_FILE;
}

int RecordSetupFolder(void)
{
    char *folder = g_startup.setupFolder;
    memset(folder, 0, MAX_PATH);
    DWORD length = GetModuleFileNameA(0, folder, MAX_PATH);
    char *cut = length && length < MAX_PATH ? strrchr(folder, '\\') : 0;
    if (!cut)
        return 0;
    *cut = 0;
    return 1;
}

// Reads the whole file into a block that keeps at least 260 zero bytes
// behind the data, and parses it.
int ReadXmlDescriptor(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, 0);
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
        g_startup.document = ParseDocument(block, (int32_t)total, 0);
    if (block)
        LocalFree(block);
    CloseHandle(file);
    return ok && g_startup.document;
}

} // namespace

int InitSetupRun(RunOptions options)
{
    LANGID language = GetSystemDefaultLangID();
    g_startup.machine.systemLanguageId = language;
    g_startup.machine.systemPrimaryLanguage = (uint16_t)(language & 0x3FF);
    if (!(options & RUNOPT_INSTALL))
        return 1;
    if (!IsNtPlatform()) {
        g_startup.unicodeLayer = LoadLibraryA("unicows.dll");
        if (!g_startup.unicodeLayer)
            return 0;
    }
    if (!RecordSetupFolder() || !FindBesideProgram("ZynSetup.dat", g_startup.scriptPath))
        return 0;
    if (FindBesideProgram("Dorsel.zyn", g_startup.descriptorPath) &&
        HasIniDescriptor(g_startup.descriptorPath))
        return 1;
    if (!FindBesideProgram("VAKZYN.xml", g_startup.descriptorPath) ||
        !ReadXmlDescriptor(g_startup.descriptorPath))
        return 0;
    g_startup.descriptorMode = 1;
    return 1;
}
