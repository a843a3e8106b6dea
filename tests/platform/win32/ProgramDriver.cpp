// Driving kelvor.exe from outside: processes, top-level dialogs, texts and button presses.
#include "ProgramDriver.h"

#include <shlobj.h>
#include <tlhelp32.h>
#include <wincred.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr DWORD kPollMilliseconds = 20;
constexpr UINT kMessageTimeLimitMilliseconds = 5000;
const char kSettingsSection[] = "Settings";

struct DialogSearch {
    DWORD processId;
    const std::string* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return TRUE;
    if (search->owner != nullptr && GetWindow(window, GW_OWNER) != search->owner)
        return TRUE;
    if (TextOf(window) != *search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

std::string WindowsPath(const std::string& path)
{
    std::string converted = path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    if (!path.empty() && path[0] == '/')
        converted = "Z:" + converted;
    return converted;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeLimitMilliseconds)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= timeLimitMilliseconds)
            return condition();
        Sleep(kPollMilliseconds);
    }
    return true;
}

CProgramProcess::~CProgramProcess()
{
    if (m_process.hProcess == nullptr)
        return;
    if (Running()) {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

bool CProgramProcess::Start(const std::string& programPath, const std::string& arguments)
{
    // A process object may start a second run once the first has ended.
    if (m_process.hProcess != nullptr) {
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
        m_process = {};
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + programPath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    if (!CreateProcessA(programPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &m_process))
        return false;
    WaitForInputIdle(m_process.hProcess, 10000);
    return true;
}

bool CProgramProcess::Running() const
{
    return m_process.hProcess != nullptr &&
           WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

bool CProgramProcess::WaitForExit(DWORD timeLimitMilliseconds)
{
    return m_process.hProcess != nullptr &&
           WaitForSingleObject(m_process.hProcess, timeLimitMilliseconds) == WAIT_OBJECT_0;
}

std::vector<std::string> CProgramProcess::Modules() const
{
    std::vector<std::string> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, m_process.dwProcessId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
        modules.push_back(entry.szExePath);
    CloseHandle(snapshot);
    return modules;
}

HWND CProgramProcess::WaitForDialog(const std::string& caption, HWND owner,
                                    DWORD timeLimitMilliseconds)
{
    DialogSearch search = {m_process.dwProcessId, &caption, owner, nullptr};
    WaitUntil(
        [&search] {
            EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeLimitMilliseconds);
    return search.found;
}

HWND CProgramProcess::FocusedControl() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(m_process.dwThreadId, &info))
        return nullptr;
    return info.hwndFocus;
}

std::string TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             kMessageTimeLimitMilliseconds, &length))
        return std::string();
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeLimitMilliseconds, &copied))
        return std::string();
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string MessageBoxText(HWND box)
{
    std::string longest;
    for (HWND child : ChildWindows(box)) {
        if (ClassOf(child) != "Static")
            continue;
        std::string text = TextOf(child);
        if (text.size() > longest.size())
            longest = text;
    }
    return longest;
}

void Press(HWND dialog, int controlId)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

std::vector<std::string> ListEntries(HWND list)
{
    // Read in UTF-16 and converted here: across processes the A form of LB_GETTEXT is not
    // converted on every system, and it takes no buffer size.
    std::vector<std::string> entries;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            break;
        std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        char converted[4096] = {};
        WideCharToMultiByte(CP_ACP, 0, entry.c_str(), -1, converted, sizeof converted - 1, nullptr,
                            nullptr);
        entries.push_back(converted);
    }
    return entries;
}

std::vector<HWND> ChildWindows(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

bool RequestScreenshot(const std::string& name)
{
    char folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("KELVOR_SCREENSHOT_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::string request = WindowsPath(folder) + "\\" + name + ".request";
    HANDLE file = CreateFileA(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return WaitUntil([&request] { return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES; },
                     20000);
}

std::string UserFolder(int folderId)
{
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string SettingsFilePath(const std::string& name)
{
    return UserFolder(CSIDL_APPDATA) + "\\Kelvor\\" + name;
}

std::string WindowsDirectorySettingsPath(const std::string& name)
{
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\" + name;
}

std::string VirtualStoreSettingsPath(const std::string& name)
{
    // The path in the Windows directory without its drive, below the VirtualStore folder.
    return UserFolder(CSIDL_LOCAL_APPDATA) + "\\VirtualStore" +
           WindowsDirectorySettingsPath(name).substr(2);
}

void RemoveSettingsFiles(const std::string& name)
{
    for (const std::string& path : {SettingsFilePath(name), WindowsDirectorySettingsPath(name),
                                    VirtualStoreSettingsPath(name)}) {
        ForgetSettingsFile(path);
        DeleteFileA(path.c_str());
    }
}

void ForgetSettingsFile(const std::string& path)
{
    // Three null arguments make the system drop its cached copy of the file, so that the
    // next read sees what another process wrote.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

void WriteSetting(const std::string& key, const std::string& value, const std::string& path)
{
    // The folders of the file, such as the VirtualStore's, may not exist yet.
    for (std::size_t slash = path.find('\\', 3); slash != std::string::npos;
         slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
    WritePrivateProfileStringA(kSettingsSection, key.c_str(), value.c_str(), path.c_str());
}

std::string ReadSetting(const std::string& key, const std::string& path)
{
    ForgetSettingsFile(path);
    char value[4096] = {};
    GetPrivateProfileStringA(kSettingsSection, key.c_str(), "<missing>", value, sizeof value,
                             path.c_str());
    return value;
}

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::string Narrow(const wchar_t* wide, std::size_t length)
{
    std::string text(length * 2, '\0');
    text.resize(static_cast<std::size_t>(WideCharToMultiByte(932, 0, wide, static_cast<int>(length), text.data(),
                                                             static_cast<int>(text.size()), nullptr, nullptr)));
    return text;
}

}  // namespace

std::string KeptPassword(const std::string& server, const std::string& user)
{
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(Wide("Kelvor/kelvor/" + server + "/" + user).c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return "<missing>";
    std::string password = Narrow(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                                  credential->CredentialBlobSize / sizeof(wchar_t));
    if (credential->Persist != CRED_PERSIST_LOCAL_MACHINE || credential->UserName == nullptr ||
        Narrow(credential->UserName, wcslen(credential->UserName)) != user)
        password = "<not kept as kelvor.exe keeps it>";
    CredFree(credential);
    return password;
}

void RemoveKeptPasswords()
{
    DWORD count = 0;
    PCREDENTIALW* credentials = nullptr;
    if (!CredEnumerateW(L"Kelvor/*", 0, &count, &credentials))
        return;
    for (DWORD i = 0; i < count; ++i)
        CredDeleteW(credentials[i]->TargetName, credentials[i]->Type, 0);
    CredFree(credentials);
}

std::string KeptSignInToken(const std::string& server, const std::string& user)
{
    const std::string head = "Kelvor/kelvor/" + server + "/" + user + "/sign-in";
    auto read = [](const std::string& name, std::string& bytes) {
        PCREDENTIALW credential = nullptr;
        if (!CredReadW(Wide(name).c_str(), CRED_TYPE_GENERIC, 0, &credential))
            return false;
        bytes.assign(reinterpret_cast<const char*>(credential->CredentialBlob), credential->CredentialBlobSize);
        CredFree(credential);
        return true;
    };
    std::string parts;
    if (!read(head, parts) || parts.size() < 3)
        return "<missing>";
    std::string token;
    for (int index = 1; index <= std::atoi(parts.c_str() + 2); ++index) {
        std::string part;
        if (!read(head + "/" + parts[0] + std::to_string(index), part))
            return "<missing>";
        token += part;
    }
    return token;
}

int LineCount(const std::string& unixPath)
{
    std::ifstream file(WindowsPath(unixPath));
    int lines = 0;
    for (std::string line; std::getline(file, line);)
        ++lines;
    return lines;
}
