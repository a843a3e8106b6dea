// A private Dovecot POP3 server for tests and benchmarks, run through tools/dovecot/dovecot.sh
// in a folder of its own with generated Maildirs. POSIX only.
#ifndef KELVOR_TESTS_SUPPORT_DOVECOTSERVER_H
#define KELVOR_TESTS_SUPPORT_DOVECOTSERVER_H

#include <string>
#include <vector>

struct TestMailbox {
    std::string user;
    std::string password;
    std::vector<std::string> messages;  // LF line ends, as the Maildir files hold them
};

class CDovecotServer {
public:
    CDovecotServer();
    // Stops the server and removes its folder.
    ~CDovecotServer();

    CDovecotServer(const CDovecotServer&) = delete;
    CDovecotServer& operator=(const CDovecotServer&) = delete;

    // Creates a fresh folder, writes every mailbox into it and starts the server with the
    // script (the path of dovecot.sh), with TLS when asked (see dovecot.sh --tls for the
    // addresses and certificates). 1 on success; 0 with the reason in error.
    int Start(const std::string& script, const std::vector<TestMailbox>& mailboxes,
              std::string& error, bool withTls = false);
    void Stop();

    // Before Start: the server takes bearer tokens from its own authorization server instead of
    // passwords (see dovecot.sh --oauth2), started with these options added.
    void UseOAuth2(const std::vector<std::string>& authorizationServerOptions = {});
    // The authorization server's address, "http://127.0.0.1:<port>".
    std::string AuthorizationServer() const;

    // "127.0.0.1:<port>", the server text a client logs in to.
    std::string Address() const;
    int Port() const;
    // The port of POP3 over TLS when started with TLS (STLS is offered on Port()).
    int TlsPort() const;
    // The CA certificate that a client must trust to accept the server's certificate.
    std::string CertificateAuthorityFile() const;
    // The folder that holds the message files of a user.
    std::string MessageFolder(const std::string& user) const;

private:
    std::string m_script;
    std::string m_folder;
    int m_port;
    int m_tlsPort;
    bool m_oauth2;
    std::vector<std::string> m_oauth2Options;
};

#endif
