// The private Dovecot server: a temporary folder with the Maildirs and the server's state,
// started and stopped by the project's own dovecot.sh.
#include "DovecotServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>

#include "TestMaildir.h"

namespace {

// The shell's quoting of one argument: single quotes, with each single quote spelled '\''.
std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

CDovecotServer::CDovecotServer()
    : m_port(0),
      m_tlsPort(0),
      m_oauth2(false)
{
}

CDovecotServer::~CDovecotServer()
{
    Stop();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
}

int CDovecotServer::Start(const std::string& script, const std::vector<TestMailbox>& mailboxes,
                          std::string& error, bool withTls)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kelvor-dovecot-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot create a folder for the server";
        return 0;
    }
    m_folder = pattern;
    // Dovecot's own processes run as other users and must be able to pass through the folder.
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all |
                                 std::filesystem::perms::group_exec | std::filesystem::perms::others_exec);
    m_script = script;
    std::string command = Quoted(script) + " start ";
    if (withTls)
        command += "--tls " + Quoted(m_folder + "/certs") + " ";
    if (m_oauth2) {
        command += "--oauth2 ";
        for (const std::string& option : m_oauth2Options)
            command += Quoted("--oauth2-option=" + option) + " ";
    }
    command += Quoted(m_folder + "/state") + " " + Quoted(m_folder + "/mail");
    for (const TestMailbox& mailbox : mailboxes) {
        if (!WriteMaildir(m_folder + "/mail/" + mailbox.user + "/Maildir", mailbox.messages, error))
            return 0;
        command += " " + Quoted(mailbox.user) + " " + Quoted(mailbox.password);
    }
    std::string log = m_folder + "/start.log";
    if (std::system((command + " >" + Quoted(log) + " 2>&1").c_str()) != 0) {
        error = "the server did not start: " + FileText(log);
        return 0;
    }
    m_port = std::atoi(FileText(m_folder + "/state/port").c_str());
    if (m_port <= 0) {
        error = "the server wrote no port";
        return 0;
    }
    if (withTls) {
        m_tlsPort = std::atoi(FileText(m_folder + "/state/tls-port").c_str());
        if (m_tlsPort <= 0) {
            error = "the server wrote no TLS port";
            return 0;
        }
    }
    return 1;
}

void CDovecotServer::Stop()
{
    if (m_port == 0)
        return;
    std::string command = Quoted(m_script) + " stop " + Quoted(m_folder + "/state") + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        // Nothing more can be done here; the folder is still removed afterwards.
    }
    m_port = 0;
    m_tlsPort = 0;
}

void CDovecotServer::UseOAuth2(const std::vector<std::string>& authorizationServerOptions)
{
    m_oauth2 = true;
    m_oauth2Options = authorizationServerOptions;
}

std::string CDovecotServer::AuthorizationServer() const
{
    return "http://127.0.0.1:" + std::to_string(std::atoi(FileText(m_folder + "/state/oauth2-port").c_str()));
}

std::string CDovecotServer::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

int CDovecotServer::Port() const
{
    return m_port;
}

int CDovecotServer::TlsPort() const
{
    return m_tlsPort;
}

std::string CDovecotServer::CertificateAuthorityFile() const
{
    return m_folder + "/certs/ca.crt";
}

std::string CDovecotServer::MessageFolder(const std::string& user) const
{
    return m_folder + "/mail/" + user + "/Maildir/cur";
}
