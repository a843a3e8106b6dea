// The settings file through GetPrivateProfileIntA, GetPrivateProfileStringA and
// WritePrivateProfileStringA, given the full path of the file in the user's application data.
#include "platform/win32/Win32Profile.h"

#include "platform/win32/SystemHeaders.h"

#include <shlobj.h>

namespace {

// Values are read through a buffer of this size, so at most 4095 bytes of one value arrive.
constexpr DWORD kValueBufferSize = 4096;
// The program's folder in the user's application data.
const char kSettingsFolder[] = "Kelvor";
// The old file's password value, removed from it once it has been copied.
const char kSettingsSection[] = "Settings";
const char kPasswordKey[] = "PWD";

// A key written twice in a section loses only its first value to one removal, so removal
// repeats while a value is left, at most this many times.
constexpr int kMostRemovals = 1024;

// Whether the section holds a value of the key: a missing one reads as either default.
bool HasValue(const char* section, const char* key, const char* path)
{
    char first[2] = {};
    char second[2] = {};
    GetPrivateProfileStringA(section, key, "a", first, sizeof first, path);
    GetPrivateProfileStringA(section, key, "b", second, sizeof second, path);
    return first[0] != 'a' || second[0] != 'b';
}

// Removes every value of the key in the section (no value at all, a null pointer, removes
// one). 1 when none is left.
int RemoveEveryValue(const char* section, const char* key, const char* path)
{
    for (int round = 0; round < kMostRemovals; ++round) {
        if (!WritePrivateProfileStringA(section, key, nullptr, path))
            return 0;
        if (!HasValue(section, key, path))
            return 1;
    }
    return 0;
}

// A folder of the user's profile (CSIDL_APPDATA, CSIDL_LOCAL_APPDATA); empty when the system
// cannot name it.
std::string UserFolder(int folderId)
{
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                path)))
        return std::string();
    return path;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Where earlier versions kept the file: the bare name went to the Windows directory, and a
// user who could not write there had the writes redirected to the VirtualStore of the user's
// local application data, which then also served the reads. That copy comes first. Once
// copied, the password has no business in the old file any more; a user without the right to
// write the Windows directory cannot remove it there, and that fails quietly.
bool CopyOldFile(const std::string& oldFile, const std::string& target)
{
    if (!FileExists(oldFile) || !CopyFileA(oldFile.c_str(), target.c_str(), TRUE))
        return false;
    RemoveEveryValue(kSettingsSection, kPasswordKey, oldFile.c_str());
    return true;
}

void CopyOldSettings(const std::string& fileName, const std::string& target)
{
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::string windowsFile = std::string(windows, length) + "\\" + fileName;
    // The VirtualStore repeats the path without its drive: C:\Windows\x -> VirtualStore\Windows\x.
    const std::string withoutDrive =
        length >= 2 && windows[1] == ':' ? windowsFile.substr(2) : windowsFile;
    const std::string localData = UserFolder(CSIDL_LOCAL_APPDATA);
    if (!localData.empty()) {
        const std::string virtualStoreFile = localData + "\\VirtualStore" + withoutDrive;
        if (CopyOldFile(virtualStoreFile, target))
            return;
    }
    CopyOldFile(windowsFile, target);
}

}  // namespace

std::string CWin32Profile::PathOf(const std::string& fileName)
{
    if (fileName.find_first_of("\\/:") != std::string::npos)
        return fileName;
    const std::string applicationData = UserFolder(CSIDL_APPDATA);
    // Without a profile folder the name goes to the system bare, as it always did.
    if (applicationData.empty())
        return fileName;
    const std::string folder = applicationData + "\\" + kSettingsFolder;
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\" + fileName;
    if (!FileExists(path))
        CopyOldSettings(fileName, path);
    return path;
}

int CWin32Profile::GetInt(const std::string& section, const std::string& key, int defaultValue,
                          const std::string& fileName)
{
    return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue,
                                                  PathOf(fileName).c_str()));
}

std::string CWin32Profile::GetString(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName)
{
    char value[kValueBufferSize] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), value,
                             kValueBufferSize, PathOf(fileName).c_str());
    value[kValueBufferSize - 1] = '\0';
    return value;
}

int CWin32Profile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName)
{
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      PathOf(fileName).c_str())
               ? 1
               : 0;
}

int CWin32Profile::DeleteValue(const std::string& section, const std::string& key,
                               const std::string& fileName)
{
    return RemoveEveryValue(section.c_str(), key.c_str(), PathOf(fileName).c_str());
}
