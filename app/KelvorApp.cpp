// CKelvorApp: the whole run of the program, from the single-instance guard to the settings
// written back after the main window has ended.
#include "app/KelvorApp.h"

#include <string>

#include "app/AppTexts.h"
#include "app/KelvorDlg.h"
#include "app/ResourceStrings.h"
#include "res/resource.h"

namespace {

const char kGuardName[] = "h_XXXX_PrevInstance";
const char kProfileExtension[] = ".INI";
const char kSettingsSection[] = "Settings";
const char kKeyInterval[] = "INT";
const char kKeyServer[] = "POP";
const char kKeyUser[] = "USR";
const char kKeyPassword[] = "PWD";
const char kKeyPopup[] = "PUP";
constexpr int kDefaultInterval = 10;
constexpr int kDefaultPopup = 0;

}  // namespace

CKelvorApp::CKelvorApp(AppHost& host) : m_host(host)
{
}

bool CKelvorApp::InitInstance()
{
    // The title is string 57344 when the program has one, else the program file's name.
    // The profile file is always named after the program file.
    const std::string fileTitle = m_host.ApplicationTitle();
    std::string applicationTitle = m_host.LoadString(IDS_APP_TITLE);
    if (applicationTitle.empty())
        applicationTitle = fileTitle;

    InstanceGuard& guard = m_host.Guard();
    if (guard.OpenExisting(kGuardName)) {
        if (m_host.FindTopLevelWindow(m_host.LoadString(IDS_APP_TITLE)))
            m_host.ShowStartupMessage(kTextAlreadyRunning, applicationTitle);
        return false;
    }
    guard.Create(kGuardName);

    if (!m_host.StartSockets()) {
        std::string message = m_host.LoadString(IDP_SOCKETS_INIT_FAILED);
        if (message.empty())
            message = ResourceString(IDP_SOCKETS_INIT_FAILED);
        m_host.ShowStartupMessage(message, applicationTitle);
        return false;
    }
    m_socketsStarted = true;

    m_host.PrepareDialogs();

    CKelvorDlg dialog(m_host.MainWindow(), applicationTitle, this);
    Profile& profile = m_host.Settings();
    m_profileFile = fileTitle + kProfileExtension;
    dialog.m_interval = profile.GetInt(kSettingsSection, kKeyInterval, kDefaultInterval, m_profileFile);
    dialog.m_server = profile.GetString(kSettingsSection, kKeyServer, "", m_profileFile);
    dialog.m_user = profile.GetString(kSettingsSection, kKeyUser, "", m_profileFile);
    m_password = std::make_unique<CPasswordSetting>(profile, m_host.Keeper(), kSettingsSection, kKeyPassword);
    dialog.m_password = m_password->Load(dialog.m_server, dialog.m_user, m_profileFile);
    dialog.m_popup = profile.GetInt(kSettingsSection, kKeyPopup, kDefaultPopup, m_profileFile);

    // Without the platform's part there is no signing in: an empty password is sent with
    // USER and PASS as it always was.
    if (SignInPlatform* platform = m_host.SignIn()) {
        m_refreshTokens = std::make_unique<CRefreshTokenSetting>(profile, m_host.TokenKeeper(), kSettingsSection,
                                                                 m_profileFile);
        // The OAuth2:HOST sections are only read, never written.
        const std::string fileName = m_profileFile;
        m_signIn = std::make_unique<CSignIn>(*platform, *m_refreshTokens,
                                             [&profile, fileName](const std::string& section, const std::string& key) {
                                                 return profile.GetString(section, key, "", fileName);
                                             });
        dialog.SetSignIn(m_signIn.get());
    }

    m_host.RunMainWindow(dialog);

    StoreSettings(dialog);
    return false;
}

void CKelvorApp::StoreSettings(const CKelvorDlg& dialog)
{
    // A failed write is not reported: at the end there is no window left to report it in,
    // and while the window runs the next confirmed setting writes them all again.
    Profile& profile = m_host.Settings();
    profile.WriteString(kSettingsSection, kKeyInterval, std::to_string(dialog.m_interval), m_profileFile);
    profile.WriteString(kSettingsSection, kKeyServer, dialog.m_server, m_profileFile);
    profile.WriteString(kSettingsSection, kKeyUser, dialog.m_user, m_profileFile);
    m_password->Store(dialog.m_server, dialog.m_user, dialog.m_password, m_profileFile);
    profile.WriteString(kSettingsSection, kKeyPopup, std::to_string(dialog.m_popup), m_profileFile);
}

int CKelvorApp::ExitInstance()
{
    if (m_socketsStarted) {
        m_host.StopSockets();
        m_socketsStarted = false;
    }
    return 0;
}
