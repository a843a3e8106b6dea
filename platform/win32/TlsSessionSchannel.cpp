// The TLS session of the POP3 client with Windows' own Schannel (SSPI), over the connected TCP
// stream. Schannel is told not to judge the server's certificate: we check it ourselves (see
// ServerCertificate), the same way on every system. Every wait for the server is one of the
// stream's, with what is left of the caller's time limit.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include "pop3/TlsSession.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#include <security.h>
#include <subauth.h>
#include <schannel.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32/ServerCertificate.h"
#include "pop3/TcpStream.h"

namespace {

using Clock = std::chrono::steady_clock;

const DWORD kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                              ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                              ISC_REQ_USE_SUPPLIED_CREDS;
// Received bytes wait here until they make a whole record; more than this is no TLS record
// (at most 16 KiB of text and 2 KiB of expansion) nor a handshake message worth waiting for.
const std::size_t kLargestPending = 128 * 1024;
const std::size_t kReceiveStep = 16 * 1024 + 512;

const char kConnectionFailed[] = "the connection failed";

// Milliseconds left until deadline, rounded up so that a wait for them reaches it; never below 0.
int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Whether a wait that failed ended because the time ran out rather than on an error. The
// stream does not tell them apart; a wait ends a little early where the system counts time
// in ticks (about 16 ms on Windows).
bool TimeRanOut(Clock::time_point deadline)
{
    return Clock::now() + std::chrono::milliseconds(20) >= deadline;
}

std::wstring Wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// A short reason for a status that Schannel gave in the handshake.
std::string StatusReason(SECURITY_STATUS status)
{
    switch (status) {
    case SEC_E_ILLEGAL_MESSAGE:
        return "the server sent a message that is not TLS or not expected";
    case SEC_E_ALGORITHM_MISMATCH:
        return "no protocol version or cipher in common with the server";
    case SEC_E_UNSUPPORTED_FUNCTION:
        return "the server asked for something Schannel does not support";
    case SEC_E_DECRYPT_FAILURE:
    case SEC_E_MESSAGE_ALTERED:
        return "a message of the server was damaged";
    case SEC_E_INVALID_TOKEN:
        return "the server sent an invalid handshake message";
    case SEC_E_INSUFFICIENT_MEMORY:
        return "out of memory";
    case SEC_E_INTERNAL_ERROR:
        return "internal error of Schannel";
    case SEC_E_NO_CREDENTIALS:
    case SEC_E_UNKNOWN_CREDENTIALS:
    case SEC_E_SECPKG_NOT_FOUND:
        return "Schannel could not be set up";
    case SEC_I_CONTEXT_EXPIRED:
    case SEC_E_CONTEXT_EXPIRED:
        return "the server ended the session";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "Schannel error 0x%08lX", static_cast<unsigned long>(status));
        return text;
    }
    }
}

// Acquires Schannel's client credentials: TLS 1.2 or later, no client certificate, and no
// check of the server's certificate by Schannel. SCH_CREDENTIALS lets Windows 10 and 11
// negotiate TLS 1.3; systems that do not know it take SCHANNEL_CRED, which stops at TLS 1.2.
SECURITY_STATUS AcquireCredentials(CredHandle& credentials)
{
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = flags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    TimeStamp expiry;
    SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W),
                                                       SECPKG_CRED_OUTBOUND, nullptr, &modern, nullptr,
                                                       nullptr, &credentials, &expiry);
    if (status == SEC_E_OK)
        return status;
    SCHANNEL_CRED legacy{};
    legacy.dwVersion = SCHANNEL_CRED_VERSION;
    legacy.dwFlags = flags;
    legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    return AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                     nullptr, &legacy, nullptr, nullptr, &credentials, &expiry);
}

// Whether the first bytes a server sends in reply to the client's hello can be TLS: a record
// with a handshake message or an alert, of a TLS version (3.x). A cleartext server's greeting
// is neither, and is refused at once instead of being waited on until it would fill a record.
bool LooksLikeTls(const std::vector<char>& bytes)
{
    const unsigned char handshake = 0x16;
    const unsigned char alert = 0x15;
    const unsigned char major = 0x03;
    if (bytes.empty())
        return true;
    auto type = static_cast<unsigned char>(bytes[0]);
    return (type == handshake || type == alert) && (bytes.size() < 2 || static_cast<unsigned char>(bytes[1]) == major);
}

bool IsTls12OrLater(DWORD protocol)
{
    const DWORD older = SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1 | SP_PROT_PCT1;
    return protocol != 0 && (protocol & older) == 0;
}

}  // namespace

struct CTlsSession::Session {
    CTcpStream* transport = nullptr;
    std::wstring host;
    // The bytes of host when it is an address; empty for a name.
    std::vector<unsigned char> address;
    CredHandle credentials{};
    CtxtHandle context{};
    bool haveCredentials = false;
    bool haveContext = false;
    SecPkgContext_StreamSizes sizes{};
    // Received bytes that Schannel has not taken yet: the rest of a record, or records.
    std::vector<char> pending;
    // Decrypted text that the caller has not taken yet.
    std::vector<char> text;
    std::size_t textTaken = 0;
    // The certificate the session was checked with, to see whether a new handshake changed it.
    std::vector<BYTE> checkedCertificate;
    bool endedByServer = false;

    ~Session()
    {
        if (haveContext)
            DeleteSecurityContext(&context);
        if (haveCredentials)
            FreeCredentialsHandle(&credentials);
    }

    // The name Schannel sends the server: the host's name, and none for an address, which is
    // never sent as a name.
    wchar_t* TargetName() { return address.empty() ? host.data() : nullptr; }

    // Hands bytes to the server; 0 when the stream gave up (it closes itself on a time-out).
    int Send(const void* data, std::size_t length, Clock::time_point deadline)
    {
        int left = MillisecondsLeft(deadline);
        return transport->SendAll(static_cast<const char*>(data), length, left > 0 ? left : 1);
    }

    // Appends what the server sends next to pending. 1, or 0 with the reason.
    int ReceiveMore(Clock::time_point deadline, std::string& reason)
    {
        if (pending.size() >= kLargestPending) {
            reason = "the server sent a message that is too long";
            return 0;
        }
        std::size_t before = pending.size();
        pending.resize(before + kReceiveStep);
        int received = transport->Receive(pending.data() + before, static_cast<int>(kReceiveStep),
                                          MillisecondsLeft(deadline));
        pending.resize(before + (received > 0 ? static_cast<std::size_t>(received) : 0));
        if (received > 0)
            return 1;
        if (received == 0)
            reason = kTlsReasonClosedByServer;
        else
            reason = TimeRanOut(deadline) ? kTlsReasonTimedOut : kConnectionFailed;
        return 0;
    }

    // Keeps only the last extra bytes of pending, which Schannel did not use.
    void KeepExtra(std::size_t extra)
    {
        if (extra > pending.size())
            extra = pending.size();
        pending.erase(pending.begin(), pending.end() - static_cast<std::ptrdiff_t>(extra));
    }

    // Runs InitializeSecurityContextW until the handshake is done: from the start, or, on an
    // open session, with the handshake messages that pending begins with. 1, or 0 with reason.
    int Negotiate(Clock::time_point deadline, std::string& reason)
    {
        SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
        ULONG attributes = 0;
        bool needBytes = true;
        bool certificateAsked = false;
        bool firstAnswer = !haveContext;
        if (!haveContext) {
            // The client's hello, with the host's name for the server to choose its certificate.
            SECURITY_STATUS status =
                InitializeSecurityContextW(&credentials, nullptr, TargetName(), kContextRequest, 0, 0, nullptr, 0,
                                           &context, &outDesc, &attributes, nullptr);
            if (status != SEC_I_CONTINUE_NEEDED) {
                if (outBuffer.pvBuffer != nullptr)
                    FreeContextBuffer(outBuffer.pvBuffer);
                reason = StatusReason(status);
                return 0;
            }
            haveContext = true;
            int sent = Send(outBuffer.pvBuffer, outBuffer.cbBuffer, deadline);
            FreeContextBuffer(outBuffer.pvBuffer);
            if (!sent) {
                reason = TimeRanOut(deadline) ? kTlsReasonTimedOut : kConnectionFailed;
                return 0;
            }
        } else {
            needBytes = pending.empty();
        }

        for (;;) {
            if (needBytes && !ReceiveMore(deadline, reason))
                return 0;
            needBytes = true;
            // The server's first bytes of all: its hello, or an alert.
            if (firstAnswer && !LooksLikeTls(pending)) {
                reason = "the server did not answer with TLS";
                return 0;
            }
            firstAnswer = false;
            SecBuffer inBuffers[2] = {
                {static_cast<unsigned long>(pending.size()), SECBUFFER_TOKEN, pending.data()},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
            SecBuffer outBuffers[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_ALERT, nullptr}};
            SecBufferDesc outDescs{SECBUFFER_VERSION, 2, outBuffers};
            SECURITY_STATUS status = InitializeSecurityContextW(&credentials, &context, TargetName(),
                                                                kContextRequest, 0, 0, &inDesc, 0, nullptr,
                                                                &outDescs, &attributes, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE)
                continue;
            // The next handshake message, or on a failure the alert that tells the server why.
            int sent = 1;
            if (outBuffers[0].pvBuffer != nullptr && outBuffers[0].cbBuffer > 0)
                sent = Send(outBuffers[0].pvBuffer, outBuffers[0].cbBuffer, deadline);
            for (SecBuffer& buffer : outBuffers) {
                if (buffer.pvBuffer != nullptr)
                    FreeContextBuffer(buffer.pvBuffer);
            }
            if (status == SEC_I_INCOMPLETE_CREDENTIALS && !certificateAsked) {
                // The server asked for a client certificate; we go on without one.
                certificateAsked = true;
                needBytes = false;
                continue;
            }
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
                reason = StatusReason(status);
                return 0;
            }
            if (!sent) {
                reason = TimeRanOut(deadline) ? kTlsReasonTimedOut : kConnectionFailed;
                return 0;
            }
            // What Schannel did not use belongs to the next message: often, after the last
            // handshake message, the server's first words.
            KeepExtra(inBuffers[1].BufferType == SECBUFFER_EXTRA ? inBuffers[1].cbBuffer : 0);
            if (status == SEC_E_OK)
                return 1;
            needBytes = pending.empty();
        }
    }

    // Checks the certificate the server has shown, unless it is the one checked already.
    int CheckCertificate(Clock::time_point deadline, std::string& reason)
    {
        PCCERT_CONTEXT certificate = nullptr;
        if (QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
            certificate == nullptr) {
            if (!checkedCertificate.empty())
                return 1;  // a later handshake that showed no certificate keeps the first
            reason = "the server showed no certificate";
            return 0;
        }
        std::vector<BYTE> encoded(certificate->pbCertEncoded,
                                  certificate->pbCertEncoded + certificate->cbCertEncoded);
        int result = 1;
        if (encoded != checkedCertificate) {
            result = CheckServerCertificate(certificate, host, address, MillisecondsLeft(deadline), reason);
            if (result)
                checkedCertificate = std::move(encoded);
        }
        CertFreeCertificateContext(certificate);
        return result;
    }

    // Decrypts the first record of pending into text. SEC_E_OK, SEC_E_INCOMPLETE_MESSAGE when
    // the record has not wholly arrived, or what else DecryptMessage said; the bytes of a
    // new handshake then begin pending.
    SECURITY_STATUS DecryptPending()
    {
        SecBuffer buffers[4] = {
            {static_cast<unsigned long>(pending.size()), SECBUFFER_DATA, pending.data()},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = DecryptMessage(&context, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return status;
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED)
            return status;
        std::size_t extra = 0;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0) {
                const char* from = static_cast<const char*>(buffer.pvBuffer);
                text.insert(text.end(), from, from + buffer.cbBuffer);
            } else if (buffer.BufferType == SECBUFFER_EXTRA) {
                extra = buffer.cbBuffer;
            }
        }
        // The text was decrypted in place, in front of the extra bytes, and is copied now.
        KeepExtra(extra);
        return status;
    }
};

CTlsSession::CTlsSession() = default;

CTlsSession::~CTlsSession() = default;

int CTlsSession::Handshake(CTcpStream& transport, const std::string& host, int timeLimitMilliseconds,
                           TlsFailure& failure, std::string& reason)
{
    m_session.reset();
    failure = TlsFailure::Handshake;
    if (!transport.IsOpen()) {
        reason = kTlsReasonNotConnected;
        return 0;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    auto session = std::make_unique<Session>();
    session->transport = &transport;
    session->host = Wide(host);
    session->address = AddressOfLiteral(host);
    SECURITY_STATUS status = AcquireCredentials(session->credentials);
    if (status != SEC_E_OK) {
        reason = StatusReason(status);
        return 0;
    }
    session->haveCredentials = true;
    if (!session->Negotiate(deadline, reason))
        return 0;

    SecPkgContext_ConnectionInfo connection{};
    if (QueryContextAttributesW(&session->context, SECPKG_ATTR_CONNECTION_INFO, &connection) != SEC_E_OK ||
        !IsTls12OrLater(connection.dwProtocol)) {
        reason = "the server offers no TLS version from 1.2 on";
        return 0;
    }
    if (QueryContextAttributesW(&session->context, SECPKG_ATTR_STREAM_SIZES, &session->sizes) != SEC_E_OK ||
        session->sizes.cbMaximumMessage == 0) {
        reason = "Schannel could not be set up";
        return 0;
    }
    if (!session->CheckCertificate(deadline, reason)) {
        failure = TlsFailure::Certificate;
        return 0;
    }
    m_session = std::move(session);
    failure = TlsFailure::None;
    reason.clear();
    return 1;
}

int CTlsSession::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (!m_session || m_session->endedByServer)
        return 0;
    Session& session = *m_session;
    const SecPkgContext_StreamSizes& sizes = session.sizes;
    std::vector<char> record;
    std::size_t sent = 0;
    while (sent < length) {
        std::size_t piece = length - sent;
        if (piece > sizes.cbMaximumMessage)
            piece = sizes.cbMaximumMessage;
        record.assign(sizes.cbHeader + piece + sizes.cbTrailer, '\0');
        std::memcpy(record.data() + sizes.cbHeader, data + sent, piece);
        SecBuffer buffers[4] = {
            {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + sizes.cbHeader},
            {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + piece},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&session.context, 0, &desc, 0) != SEC_E_OK)
            return 0;
        std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        // The time limit counts from the last progress: each record has the whole of it.
        if (!session.transport->SendAll(record.data(), total, timeLimitMilliseconds)) {
            // The stream closed itself when the server took nothing for the time limit;
            // otherwise the server has gone and the receive that follows reports it.
            if (!session.transport->IsOpen())
                Close();
            return 0;
        }
        sent += piece;
    }
    return 1;
}

int CTlsSession::Receive(char* area, int capacity, int timeLimitMilliseconds)
{
    if (!m_session || capacity <= 0)
        return -1;
    Session& session = *m_session;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    std::string reason;
    for (;;) {
        std::size_t waiting = session.text.size() - session.textTaken;
        if (waiting > 0) {
            std::size_t take = waiting < static_cast<std::size_t>(capacity) ? waiting : static_cast<std::size_t>(capacity);
            std::memcpy(area, session.text.data() + session.textTaken, take);
            session.textTaken += take;
            if (session.textTaken == session.text.size()) {
                session.text.clear();
                session.textTaken = 0;
            }
            return static_cast<int>(take);
        }
        if (session.endedByServer)
            return 0;
        SECURITY_STATUS status = session.pending.empty() ? SEC_E_INCOMPLETE_MESSAGE : session.DecryptPending();
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            // A server that closes without its closing message, in a record or between them,
            // ends the session with an error, as a cut connection does.
            if (!session.ReceiveMore(deadline, reason))
                return -1;
        } else if (status == SEC_I_CONTEXT_EXPIRED) {
            // The server's closing message; text that came before it is delivered first.
            session.endedByServer = true;
        } else if (status == SEC_I_RENEGOTIATE) {
            // A new handshake (or, in TLS 1.3, a message after the handshake, such as a
            // session ticket) whose bytes begin pending; a new certificate is checked again.
            if (!session.Negotiate(deadline, reason) || !session.CheckCertificate(deadline, reason) ||
                QueryContextAttributesW(&session.context, SECPKG_ATTR_STREAM_SIZES, &session.sizes) != SEC_E_OK) {
                Close();
                return -1;
            }
        } else if (status != SEC_E_OK) {
            return -1;
        }
    }
}

void CTlsSession::Close()
{
    m_session.reset();
}

bool CTlsSession::IsOpen() const
{
    return m_session != nullptr;
}
