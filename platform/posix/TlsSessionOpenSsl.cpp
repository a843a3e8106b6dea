// The TLS session of the POP3 client with OpenSSL 3. The certificate is checked against the
// system's trusted roots (SSL_CERT_FILE and SSL_CERT_DIR can name others) and the host name;
// every wait goes through poll() with the caller's time limit. The socket is reached through a
// small BIO of our own that sends with MSG_NOSIGNAL, so a server that has gone away cannot end
// the program with SIGPIPE, and that never blocks, whatever mode the socket is in.
#include "pop3/TlsSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pop3/TcpStream.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(MSG_NOSIGNAL)
const int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
const int kSendFlags = MSG_DONTWAIT;
#endif

// What the BIO knows of the socket: its descriptor, and whether the server has closed it.
struct SocketLink {
    int fd;
    bool closed;
};

SocketLink* LinkOf(BIO* bio)
{
    return static_cast<SocketLink*>(BIO_get_data(bio));
}

int WriteToSocket(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    ssize_t sent = send(LinkOf(bio)->fd, data, static_cast<std::size_t>(length), kSendFlags);
    if (sent >= 0)
        return static_cast<int>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        BIO_set_retry_write(bio);
    return -1;
}

int ReadFromSocket(BIO* bio, char* area, int capacity)
{
    BIO_clear_retry_flags(bio);
    ssize_t received = recv(LinkOf(bio)->fd, area, static_cast<std::size_t>(capacity), MSG_DONTWAIT);
    if (received > 0)
        return static_cast<int>(received);
    if (received == 0) {
        LinkOf(bio)->closed = true;
        return 0;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        BIO_set_retry_read(bio);
    return -1;
}

long ControlSocket(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1;
    case BIO_CTRL_EOF:
        // Lets OpenSSL tell a server that closed without a closing message from an error.
        return LinkOf(bio)->closed ? 1 : 0;
    default:
        return 0;
    }
}

// The BIO method, made once for the whole program and kept for its life.
const BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* method = nullptr;
    static std::once_flag made;
    std::call_once(made, [] {
        method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kelvor socket");
        if (method != nullptr) {
            BIO_meth_set_write(method, WriteToSocket);
            BIO_meth_set_read(method, ReadFromSocket);
            BIO_meth_set_ctrl(method, ControlSocket);
        }
    });
    return method;
}

bool IsAddressLiteral(const std::string& host)
{
    in_addr ipv4;
    in6_addr ipv6;
    return inet_pton(AF_INET, host.c_str(), &ipv4) == 1 || inet_pton(AF_INET6, host.c_str(), &ipv6) == 1;
}

// Milliseconds left until deadline, never below 0.
int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket can be read (or written) or deadline passes; 1 when it can.
int WaitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd entry{};
    entry.fd = fd;
    entry.events = events;
    for (;;) {
        int ready = poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0)
            return 1;
        if (ready == 0 || errno != EINTR)
            return 0;
    }
}

// Text without line ends, so that a reason stays on the one line it is shown on.
std::string OneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

// The text of an environment variable, empty when it is not set.
std::string EnvironmentText(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// What decides the trusted roots: the file and folder OpenSSL reads them from, and when the
// file last changed (the system rewrites it when its roots change).
std::string RootsKey()
{
    std::string file = EnvironmentText(X509_get_default_cert_file_env());
    if (file.empty())
        file = X509_get_default_cert_file();
    struct stat status {};
    long long changed = stat(file.c_str(), &status) == 0 ? static_cast<long long>(status.st_mtime) : -1;
    return file + "\n" + std::to_string(changed) + "\n" + EnvironmentText(X509_get_default_cert_dir_env());
}

SSL_CTX* NewContext()
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr)
        return nullptr;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // The roots come from the system, or from SSL_CERT_FILE and SSL_CERT_DIR when set.
    SSL_CTX_set_default_verify_paths(context);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Fewer system calls: whole records are read at once where they have arrived.
    SSL_CTX_set_read_ahead(context, 1);
    return context;
}

// The context every session is made from, with one reference for the caller. Reading the
// system's roots takes OpenSSL tens of milliseconds, so they are read once and again only
// when what decides them has changed.
SSL_CTX* SharedContext()
{
    static std::mutex guard;
    static SSL_CTX* shared = nullptr;
    static std::string sharedKey;
    std::lock_guard<std::mutex> lock(guard);
    std::string key = RootsKey();
    if (shared == nullptr || key != sharedKey) {
        SSL_CTX* fresh = NewContext();
        if (fresh == nullptr)
            return nullptr;
        SSL_CTX_free(shared);
        shared = fresh;
        sharedKey = key;
    }
    SSL_CTX_up_ref(shared);
    return shared;
}

}  // namespace

struct CTlsSession::Session {
    CTcpStream* transport = nullptr;
    SocketLink link{-1, false};
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;

    ~Session()
    {
        SSL_free(ssl);  // frees the BIO with it
        SSL_CTX_free(context);
    }

    // Carries out one call of OpenSSL that may have to wait for the socket: calls it again
    // after each wait the library asks for, until it succeeds, fails or deadline passes.
    // The library asks to wait for reading only once it has used every whole record it holds
    // (it retries by itself after records that carry no data), so the wait cannot leave
    // arrived data unread.
    // Returns the call's last result; error gets SSL_get_error's verdict, or
    // SSL_ERROR_WANT_READ / WANT_WRITE when the time ran out.
    template <typename Call>
    int Drive(Call call, Clock::time_point deadline, int& error)
    {
        for (;;) {
            ERR_clear_error();
            errno = 0;
            int result = call();
            if (result > 0) {
                error = SSL_ERROR_NONE;
                return result;
            }
            error = SSL_get_error(ssl, result);
            short events = 0;
            if (error == SSL_ERROR_WANT_READ)
                events = POLLIN;
            else if (error == SSL_ERROR_WANT_WRITE)
                events = POLLOUT;
            else
                return result;
            if (!WaitFor(link.fd, events, deadline))
                return result;
        }
    }
};

CTlsSession::CTlsSession() = default;

CTlsSession::~CTlsSession() = default;

int CTlsSession::Handshake(CTcpStream& transport, const std::string& host, int timeLimitMilliseconds,
                           TlsFailure& failure, std::string& reason)
{
    m_session.reset();
    failure = TlsFailure::Handshake;
    auto session = std::make_unique<Session>();
    session->transport = &transport;
    session->link.fd = static_cast<int>(transport.NativeHandle());
    if (session->link.fd < 0) {
        reason = kTlsReasonNotConnected;
        return 0;
    }
    session->context = SharedContext();
    const BIO_METHOD* method = SocketMethod();
    BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
    if (session->context == nullptr || bio == nullptr) {
        BIO_free(bio);
        reason = "TLS could not be set up";
        return 0;
    }
    BIO_set_data(bio, &session->link);
    BIO_set_init(bio, 1);
    session->ssl = SSL_new(session->context);
    if (session->ssl == nullptr) {
        BIO_free(bio);
        reason = "TLS could not be set up";
        return 0;
    }
    SSL_set_bio(session->ssl, bio, bio);
    X509_VERIFY_PARAM* checks = SSL_get0_param(session->ssl);
    // An address (IPv4 or IPv6) is checked against the certificate's addresses and is never
    // sent as the server's name; a name is checked against its names and sent, for servers
    // that hold certificates for several names. Only the names of the subjectAltName count,
    // never the subject's common name, and a wildcard stands for a whole label only
    // ("*.example.com", never "f*.example.com").
    X509_VERIFY_PARAM_set_hostflags(checks,
                                    X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    bool named = !IsAddressLiteral(host);
    int hostSet = named ? X509_VERIFY_PARAM_set1_host(checks, host.c_str(), host.size())
                        : X509_VERIFY_PARAM_set1_ip_asc(checks, host.c_str());
    if (hostSet != 1 || (named && SSL_set_tlsext_host_name(session->ssl, host.c_str()) != 1)) {
        reason = "the server's name cannot be checked: " + OneLine(host);
        return 0;
    }

    SSL* ssl = session->ssl;
    int error = SSL_ERROR_NONE;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    if (session->Drive([ssl] { return SSL_connect(ssl); }, deadline, error) == 1) {
        m_session = std::move(session);
        failure = TlsFailure::None;
        reason.clear();
        return 1;
    }
    long verdict = SSL_get_verify_result(ssl);
    unsigned long libraryError = ERR_peek_last_error();
    if (verdict != X509_V_OK) {
        failure = TlsFailure::Certificate;
        reason = X509_verify_cert_error_string(verdict);
    } else if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        reason = kTlsReasonTimedOut;
    } else if (libraryError != 0 && ERR_reason_error_string(libraryError) != nullptr) {
        reason = ERR_reason_error_string(libraryError);
    } else if (errno != 0) {
        reason = std::strerror(errno);
    } else {
        reason = kTlsReasonClosedByServer;
    }
    reason = OneLine(reason);
    return 0;
}

int CTlsSession::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (!m_session)
        return 0;
    SSL* ssl = m_session->ssl;
    std::size_t sent = 0;
    while (sent < length) {
        std::size_t left = length - sent;
        int piece = left > (1u << 30) ? (1 << 30) : static_cast<int>(left);
        const char* from = data + sent;
        int error = SSL_ERROR_NONE;
        // The time limit counts from the last progress: a long text may take many waits.
        auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
        int written = m_session->Drive([ssl, from, piece] { return SSL_write(ssl, from, piece); },
                                       deadline, error);
        if (written <= 0) {
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
                // The server took nothing for a whole time limit.
                CTcpStream* transport = m_session->transport;
                Close();
                transport->Close();
            }
            // Otherwise the server has gone; the receive that follows reports it.
            return 0;
        }
        sent += static_cast<std::size_t>(written);
    }
    return 1;
}

int CTlsSession::Receive(char* area, int capacity, int timeLimitMilliseconds)
{
    if (!m_session || capacity <= 0)
        return -1;
    SSL* ssl = m_session->ssl;
    int error = SSL_ERROR_NONE;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    int received = m_session->Drive([ssl, area, capacity] { return SSL_read(ssl, area, capacity); },
                                    deadline, error);
    if (received > 0)
        return received;
    // The server's closing message ends the session in order; anything else is an error.
    return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

void CTlsSession::Close()
{
    m_session.reset();
}

bool CTlsSession::IsOpen() const
{
    return m_session != nullptr;
}
