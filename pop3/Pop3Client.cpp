// CPop3Client: the session of one POP3 conversation, from the connect and the login steps
// (USER, PASS, STAT, NOOP, LIST) to QUIT; its other parts live in the Pop3*.cpp beside it.
#include "pop3/Pop3Client.h"

#include <algorithm>

#include "pop3/Pop3Texts.h"
#include "pop3/Pop3Wire.h"
#include "pop3/ServerAddress.h"

namespace {

const int kDefaultTimeLimitMilliseconds = 30000;

}  // namespace

CPop3Client::CPop3Client()
    : m_bSizesAllocated(0),
      m_nMessageCount(0),
      m_timeLimitMilliseconds(kDefaultTimeLimitMilliseconds),
      m_replyStartMilliseconds(0),
      m_pendingStart(0),
      m_bPipelining(0),
      m_bUniqueIds(0),
      m_nNextAhead(0),
      m_nLastAhead(0),
      m_nBytesAhead(0),
      m_area(kReceiveArea)
{
}

CPop3Client::~CPop3Client()
{
    m_socket.Close();
    if (m_bSizesAllocated) {
        m_pSizes.clear();
        m_bSizesAllocated = 0;
    }
}

void CPop3Client::SetTimeLimit(int milliseconds)
{
    m_timeLimitMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

std::string CPop3Client::GetErrorText() const
{
    return m_strErrorText;
}

int CPop3Client::GetMessageCount() const
{
    return m_nMessageCount;
}

int CPop3Client::Login(const std::string& server, const std::string& user,
                       const std::string& password)
{
    return AtConversationEdge(0, [&] {
        ServerAddress address;
        if (!ParseServerText(server, address) ||
            !m_socket.Connect(address.host, address.port, m_timeLimitMilliseconds)) {
            m_socket.Close();
            m_strErrorText = kPop3TextCannotConnect;
            return 0;
        }
        if (address.kind == ConnectionKind::Tls && !StartTls(address.host))
            return 0;
        // The greeting's time counts from the moment the server can send it: the connect, or
        // the end of the handshake, which has a time limit of its own.
        StartReplyTime();
        std::string greeting = AsText(ReadReplyLine());
        if (IsErrorReply(greeting)) {
            m_strErrorText = kPop3TextBadConnection;
            return 0;
        }
        if (address.kind == ConnectionKind::StartTls && !Stls(address.host))
            return 0;
        if (!User(user))
            return 0;
        if (!Pass(password))
            return 0;
        if (!Stat())
            return 0;
        // A refused NOOP does not stop the login; the listing decides.
        Noop();
        return List() ? 1 : 0;
    });
}

// Ends the conversation after an allocation failed: the connection closes, so that no reply
// is left half read, and what the conversation gathered is given back.
int CPop3Client::AllocationFailed(int failed)
{
    EndConnection();
    m_commandsAhead.clear();
    m_nBytesAhead = 0;
    m_nLastAhead = 0;
    m_strErrorText = kPop3TextResponseBufferFailed;
    return failed;
}

// Begins TLS on the connection. A failure closes it, so that nothing of the dialogue is ever
// sent in cleartext once TLS was asked for.
int CPop3Client::StartTls(const std::string& host)
{
    TlsFailure failure = TlsFailure::None;
    std::string reason;
    if (m_socket.StartTls(host, m_timeLimitMilliseconds, failure, reason))
        return 1;
    m_strErrorText = std::string(failure == TlsFailure::Certificate ? kPop3TextCertificateNotTrusted
                                                                    : kPop3TextTlsHandshakeFailed) +
                     "\r\n" + reason;
    return 0;
}

// Upgrades the cleartext connection with STLS. Only "+OK" lets the login go on; any other
// reply, an empty one included, ends it with the connection closed.
int CPop3Client::Stls(const std::string& host)
{
    SendCommand("STLS\r\n");
    std::string reply = AsText(ReadReplyLine());
    if (!StartsWithIgnoringCase(reply, "+OK")) {
        m_socket.Close();
        m_strErrorText = std::string(kPop3TextStlsError) + "\r\n" + reply;
        return 0;
    }
    // Bytes after the reply came before the handshake, so no TLS protects them: an attacker
    // on the way may have put them there to be read later as replies inside TLS.
    if (!PendingBytes().empty()) {
        TakePending(PendingBytes().size());
        m_socket.Close();
        m_strErrorText = std::string(kPop3TextTlsHandshakeFailed) + "\r\n" +
                         "the server sent more than its reply to STLS";
        return 0;
    }
    return StartTls(host);
}

// The name and the password go out cut at their first line break or zero byte, wherever they
// came from: a byte of those inside a command would end it there and send the rest as another.
int CPop3Client::User(const std::string& name)
{
    return SingleLineStep("USER " + CommandArgument(name) + "\r\n", kPop3TextBadUsername);
}

int CPop3Client::Pass(const std::string& password)
{
    return SingleLineStep("PASS " + CommandArgument(password) + "\r\n", kPop3TextBadPassword);
}

int CPop3Client::Noop()
{
    return SingleLineStep("NOOP\r\n", kPop3TextNoopError);
}

int CPop3Client::Stat()
{
    SendCommand("STAT \r\n");
    std::string reply = AsText(ReadReplyLine());
    std::size_t blank = reply.find_first_of(" \t");
    if (!StartsWithIgnoringCase(reply, "+OK") || blank == std::string::npos) {
        m_strErrorText = std::string(kPop3TextStatError) + "\r\n" + reply;
        return 0;
    }
    // Only the message count is read; the mailbox size after it is of no use here.
    m_nMessageCount = DecimalAt(reply, blank);
    return 1;
}

int CPop3Client::List()
{
    SendCommand("LIST \r\n");
    std::string status = ReadReplyLine();
    std::string statusText = AsText(status);
    if (IsErrorReply(statusText)) {
        m_strErrorText = std::string(kPop3TextListError) + "\r\n" + statusText;
        return 0;
    }
    std::string response = status;
    switch (GatherResponse(response, ListingEnd, kReceiveArea, ListingCap(m_nMessageCount))) {
    case ResponseOutcome::Complete:
        break;
    case ResponseOutcome::TooLarge:
        m_strErrorText = std::string(kPop3TextResponseTooLarge) + "\r\nLIST";
        return 0;
    default:
        m_strErrorText = kPop3TextListError;
        return 0;
    }
    m_pSizes.clear();
    m_bSizesAllocated = 1;

    // Each line "number size" sizes the message it names, in whatever order the lines come.
    // A number outside 1 to the count is skipped; of a number named twice, the first line
    // counts. A zero byte ends the listing.
    const std::string_view listing = std::string_view(response).substr(0, response.find('\0'));
    std::size_t position = 0;
    std::string_view line;
    while (NextBodyLine(listing, position, line)) {
        const std::string text(line);
        const std::size_t first = text.find_first_not_of(" \t");
        const std::size_t blank = text.find_first_of(" \t", first);
        if (blank == std::string::npos)
            continue;
        const std::int32_t number = DecimalAt(text, 0);
        if (number >= 1 && number <= m_nMessageCount)
            m_pSizes.push_back({number, DecimalAt(text, blank)});
    }
    std::stable_sort(m_pSizes.begin(), m_pSizes.end(),
                     [](const ListedSize& a, const ListedSize& b) { return a.number < b.number; });
    m_pSizes.erase(std::unique(m_pSizes.begin(), m_pSizes.end(),
                               [](const ListedSize& a, const ListedSize& b) { return a.number == b.number; }),
                   m_pSizes.end());
    return 1;
}

int CPop3Client::Quit()
{
    return AtConversationEdge(0, [&] {
        // Replies still owed to commands sent ahead come first on the wire.
        DrainOwedReplies();
        SendCommand("QUIT \r\n");
        std::string reply = AsText(ReadReplyLine());
        if (IsErrorReply(reply)) {
            m_strErrorText = std::string(kPop3TextQuitError) + "\r\n" + reply;
            return 0;
        }
        return 1;
    });
}

int CPop3Client::GetListedCount() const
{
    return static_cast<int>(m_pSizes.size());
}

int CPop3Client::GetListedSize(int n) const
{
    auto found = std::lower_bound(m_pSizes.begin(), m_pSizes.end(), n,
                                  [](const ListedSize& entry, int number) { return entry.number < number; });
    return found != m_pSizes.end() && found->number == n ? found->size : 0;
}
