// Start-up services on Windows: module file name, string table, FindWindowA, WSAStartup and
// the owner-less message box.
#include "platform/win32/Win32AppHost.h"

namespace {

constexpr WORD kSocketsVersion = MAKEWORD(1, 1);

}  // namespace

std::string FileTitleOfPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

CWin32AppHost::CWin32AppHost(HINSTANCE instance)
    : m_instance(instance), m_keeper(ApplicationTitle()), m_tokenKeeper(ApplicationTitle()), m_window(instance)
{
}

std::string CWin32AppHost::ApplicationTitle()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(m_instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    return FileTitleOfPath(std::string(path, length));
}

std::string CWin32AppHost::LoadString(int stringId)
{
    return m_window.LoadString(stringId);
}

InstanceGuard& CWin32AppHost::Guard()
{
    return m_guard;
}

Profile& CWin32AppHost::Settings()
{
    return m_profile;
}

PasswordKeeper& CWin32AppHost::Keeper()
{
    return m_keeper;
}

PasswordKeeper& CWin32AppHost::TokenKeeper()
{
    return m_tokenKeeper;
}

SignInPlatform* CWin32AppHost::SignIn()
{
    return &m_signIn;
}

int CWin32AppHost::FindTopLevelWindow(const std::string& title)
{
    return FindWindowA(nullptr, title.c_str()) != nullptr ? 1 : 0;
}

int CWin32AppHost::StartSockets()
{
    WSADATA data;
    if (WSAStartup(kSocketsVersion, &data) != 0)
        return 0;
    if (data.wVersion != kSocketsVersion) {
        WSACleanup();
        return 0;
    }
    return 1;
}

void CWin32AppHost::StopSockets()
{
    WSACleanup();
}

void CWin32AppHost::ShowStartupMessage(const std::string& text, const std::string& caption)
{
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CWin32AppHost::PrepareDialogs()
{
    // The standard controls draw themselves three-dimensionally and no embedded controls are
    // used, so the dialogs need no further preparation on Windows.
}

Window& CWin32AppHost::MainWindow()
{
    return m_window;
}

int CWin32AppHost::RunMainWindow(CKelvorDlg& dialog)
{
    return m_window.Run(dialog);
}
