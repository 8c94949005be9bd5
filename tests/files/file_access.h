// Files, folders, pending restart operations and shell links as the tests
// set them up and read them back.
#ifndef TESTS_FILES_FILE_ACCESS_H
#define TESTS_FILES_FILE_ACCESS_H

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <set>
#include <string>
#include <vector>

// `text` of the ANSI code page in wide characters.
inline std::wstring Widen(const std::string &text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size()));
    return wide.empty() ? wide : wide.substr(0, wide.size() - 1);
}

// Files and folders by their wide names, whatever letters these have; the
// ANSI forms below stand for the same.
inline void WriteText(const std::wstring &path, const std::string &text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text.data(), (DWORD)text.size(), &written, 0);
        CloseHandle(file);
    }
}

inline std::string ReadText(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, 0) && read > 0)
        text.append(buffer, read);
    CloseHandle(file);
    return text;
}

inline bool Exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes a folder with everything in it.
inline void RemoveTree(const std::wstring &path)
{
    std::wstring from = path + std::wstring(2, L'\0');
    SHFILEOPSTRUCTW request;
    ZeroMemory(&request, sizeof(request));
    request.wFunc = FO_DELETE;
    request.pFrom = from.c_str();
    request.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    if (Exists(path))
        SHFileOperationW(&request);
}

inline void WriteText(const std::string &path, const std::string &text)
{
    WriteText(Widen(path), text);
}

inline std::string ReadText(const std::string &path)
{
    return ReadText(Widen(path));
}

inline bool Exists(const std::string &path)
{
    return Exists(Widen(path));
}

inline void RemoveTree(const std::string &path)
{
    RemoveTree(Widen(path));
}

inline std::string WindowsFolderPath()
{
    char folder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder, length);
}

inline std::string TempFolderPath()
{
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, folder);
    return std::string(folder, length);
}

// The folders of `temp` (with its final backslash; by default the temporary
// folder) that look like staging folders.
inline std::set<std::string> StagingFolders(const std::wstring &temp = Widen(TempFolderPath()))
{
    std::set<std::string> folders;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((temp + L"zyn*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry))
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.insert(std::string(entry.cFileName, entry.cFileName + lstrlenW(entry.cFileName)));
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return folders;
}

// The staging folders there now that were not in `before`: earlier tests may
// leave folders that a run's start-up clean-up removes meanwhile.
inline std::set<std::string> AddedStagingFolders(
    const std::set<std::string> &before, const std::wstring &temp = Widen(TempFolderPath()))
{
    std::set<std::string> added;
    for (const std::string &folder : StagingFolders(temp))
        if (!before.count(folder))
            added.insert(folder);
    return added;
}

inline std::string SpecialFolder(int place)
{
    char folder[MAX_PATH] = {0};
    SHGetFolderPathA(0, place, 0, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

inline bool IsNt()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// PendingFileRenameOperations as its list of strings (sources and targets).
inline std::vector<std::string> PendingOperations()
{
    std::vector<std::string> entries;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    DWORD size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", 0, 0, 0, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        RegQueryValueExA(key, "PendingFileRenameOperations", 0, 0, (BYTE *)&data[0], &size);
        data.resize(size);
        size_t at = 0;
        while (at < data.size()) {
            size_t end = data.find('\0', at);
            if (end == std::string::npos)
                end = data.size();
            entries.push_back(data.substr(at, end - at));
            at = end + 1;
        }
        // The list ends with an empty string: drop it.
        if (!entries.empty() && entries.back().empty() && entries.size() % 2 == 1)
            entries.pop_back();
    }
    RegCloseKey(key);
    return entries;
}

inline std::string WideBytes(const std::wstring &text)
{
    return std::string((const char *)text.data(), text.size() * sizeof(wchar_t));
}

// PendingFileRenameOperations as stored, read or set with the wide calls.
inline std::string PendingBytes()
{
    HKEY key;
    DWORD size = 0;
    std::string data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, L"PendingFileRenameOperations", 0, 0, 0, &size);
        data.resize(size);
        RegQueryValueExW(key, L"PendingFileRenameOperations", 0, 0, (BYTE *)&data[0], &size);
        RegCloseKey(key);
    }
    return data;
}

inline void SetPendingBytes(const std::string &list)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       (const BYTE *)list.data(), (DWORD)list.size());
        RegCloseKey(key);
    }
}

inline void ClearPendingOperations()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, "PendingFileRenameOperations");
        RegCloseKey(key);
    }
}

// Simulates the restart: Wine's wineboot carries out pending operations.
inline DWORD SimulateRestart()
{
    char command[] = "wineboot.exe -r";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(0, command, 0, 0, FALSE, 0, 0, 0, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

struct LinkProperties {
    bool loaded = false;
    std::string path;
    std::string iconPath;
    int iconIndex = -1;
    std::string workingDirectory;
};

// Reads a .lnk file back through the shell link object.
inline LinkProperties ReadLink(const std::string &file)
{
    LinkProperties properties;
    CoInitialize(0);
    IShellLinkA *link = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void **)&link))) {
        IPersistFile *persist = 0;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&persist))) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
                char text[MAX_PATH] = {0};
                properties.loaded = true;
                link->GetPath(text, MAX_PATH, 0, SLGP_RAWPATH);
                properties.path = text;
                link->GetIconLocation(text, MAX_PATH, &properties.iconIndex);
                properties.iconPath = text;
                link->GetWorkingDirectory(text, MAX_PATH);
                properties.workingDirectory = text;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return properties;
}

// A shortcut as another package would have left it.
inline void WriteForeignLink(const std::string &file, const std::string &target)
{
    CoInitialize(0);
    IShellLinkA *link = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   (void **)&link))) {
        link->SetPath(target.c_str());
        link->SetIconLocation(target.c_str(), 0);
        IPersistFile *persist = 0;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&persist))) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
            persist->Save(wide, TRUE);
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
}

#endif
