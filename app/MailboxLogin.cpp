// CKelvorDlg's login to the mailbox: USER and PASS with the password, or an access token from
// signing in with the mail provider where the password is empty and the host has an entry.
#include <memory>
#include <string>

#include "app/KelvorDlg.h"
#include "pop3/Pop3Client.h"
#include "pop3/ServerAddress.h"
#include "signin/SignInFlow.h"

namespace {

// The browser and the waiting box of a sign-in, through the main window. The wait cursor
// gives way to the box while it is open.
class WindowBrowser : public SignInBrowser {
public:
    explicit WindowBrowser(Window& window) : m_window(window) {}

    bool Open(const std::string& address) override { return m_window.OpenWebAddress(address); }

    bool Wait(const std::function<bool()>& poll) override
    {
        m_window.EndWaitCursor();
        const bool returned = m_window.WaitForSignIn(poll);
        m_window.BeginWaitCursor();
        return returned;
    }

private:
    Window& m_window;
};

}  // namespace

void CKelvorDlg::SetSignIn(CSignIn* signIn)
{
    m_signIn = signIn;
}

int CKelvorDlg::LogIn(std::unique_ptr<CPop3Client>& client, bool userAsked, std::string& errorText)
{
    client = std::make_unique<CPop3Client>();
    // A typed password always means USER and PASS, as before signing in existed.
    ServerAddress address;
    if (!m_password.empty() || m_signIn == nullptr || !ParseServerText(m_server, address) ||
        !m_signIn->HasEntry(address.host)) {
        if (client->Login(m_server, m_user, m_password))
            return 1;
        errorText = client->GetErrorText();
        return 0;
    }

    WindowBrowser browser(m_window);
    // The second round follows only a refused token: the kept one may have been revoked or
    // have expired early, and one refresh (or sign-in) tells. Never USER and PASS after it.
    for (int round = 0; round < 2; ++round) {
        std::string token;
        if (!m_signIn->AccessToken(address.host, m_user, userAsked, browser, token, errorText)) {
            client.reset();
            return 0;
        }
        if (round > 0)
            client = std::make_unique<CPop3Client>();
        if (client->LoginWithToken(m_server, m_user, token))
            return 1;
        errorText = client->GetErrorText();
        if (!client->TokenRefused())
            return 0;
        m_signIn->Refused();
        if (round == 0)
            client->Quit();
    }
    return 0;
}
