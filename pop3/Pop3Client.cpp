// CPop3Client: the POP3 dialogue of the whole program. One routine reads a single-line reply,
// one gathers a multi-line response; every command goes through them.
#include "pop3/Pop3Client.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "message/HeaderFields.h"
#include "message/MessageText.h"
#include "pop3/Pop3Texts.h"
#include "pop3/ServerAddress.h"
#include "pop3/UniqueIdSet.h"

namespace {

const int kDefaultTimeLimitMilliseconds = 30000;
// A single-line reply is at most this long, its line end included.
const std::size_t kReplyLimit = 512;
// Receives of single-line replies and of a listing ask for up to this much at a time.
const std::size_t kReceiveArea = 16384;
// A TOP or RETR response is first given room for its listed size plus this much, and its
// receives ask for as much (at least kReceiveArea, at most kLargestArea).
const long long kResponseSlack = 100;
const std::size_t kLargestArea = 1 << 20;
// Commands sent ahead of their replies: at most this many, and this many bytes of them, are
// on their way at once. The bytes stay well below what the socket buffers of both ends hold,
// so sending them never waits on a server that is busy sending replies we have not read.
const std::size_t kMostCommandsAhead = 512;
const std::size_t kMostBytesAhead = 8192;
const char kTopFormat[] = "TOP %d 0\r\n";
const std::size_t kNoEnd = std::string_view::npos;

// The text that a run of received bytes stands for: it ends at the first zero byte.
std::string AsText(const std::string& bytes)
{
    return std::string(bytes.c_str());
}

bool StartsWithIgnoringCase(const std::string& text, const char* prefix)
{
    std::size_t length = std::strlen(prefix);
    if (text.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char a = static_cast<unsigned char>(text[i]);
        unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

// A refusal is any reply beginning with "-ERR"; everything else, an empty reply included,
// counts as success.
bool IsErrorReply(const std::string& reply)
{
    return StartsWithIgnoringCase(reply, "-ERR");
}

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The decimal number at position: white space skipped, an optional sign, then digits up to
// the first non-digit. No digits give 0; values beyond 32 bits stop at the nearest limit.
std::int32_t DecimalAt(const std::string& text, std::size_t position)
{
    while (position < text.size() && IsWhiteSpace(text[position]))
        ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    long long value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[position] - '0');
        ++position;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

// A listing is complete when the text after its status line ends in its end line: at least
// three bytes, the third-last of which is ".". It is judged on all that has come, so it takes
// all of more or waits for more.
std::size_t ListingEnd(std::string_view gathered, std::string_view more)
{
    std::size_t lineEnd = gathered.find('\n');
    if (lineEnd == kNoEnd) {
        lineEnd = more.find('\n');
        if (lineEnd == kNoEnd)
            return kNoEnd;
        lineEnd += gathered.size();
    }
    std::size_t total = gathered.size() + more.size();
    if (total - (lineEnd + 1) < 3)
        return kNoEnd;
    char thirdLast = more.size() >= 3 ? more[more.size() - 3] : gathered[total - 3];
    return thirdLast == '.' ? more.size() : kNoEnd;
}

// Any other multi-line response (TOP, RETR, UIDL, CAPA) ends with its first CR LF "." CR LF,
// which may begin with the line end of the status line. What follows is the next reply.
std::size_t TerminatedEnd(std::string_view gathered, std::string_view more)
{
    static const char kTerminator[] = "\r\n.\r\n";
    // The terminator may begin in the last four bytes gathered before more.
    std::size_t tail = gathered.size() < 4 ? gathered.size() : 4;
    std::string joint(gathered.substr(gathered.size() - tail));
    joint.append(more.substr(0, 4));
    std::size_t found = joint.find(kTerminator);
    if (found != std::string::npos && found + 5 > tail)
        return found + 5 - tail;
    found = more.find(kTerminator);
    return found == kNoEnd ? kNoEnd : found + 5;
}

// Steps through the lines of a multi-line response that follow its status line, without their
// line ends: position starts at 0 and moves on with each line. false at the end line.
bool NextBodyLine(std::string_view response, std::size_t& position, std::string_view& line)
{
    if (position == 0)
        position = response.find('\n');
    if (position == kNoEnd)
        return false;
    std::size_t lineEnd = response.find('\n', position + 1);
    if (lineEnd == kNoEnd)
        return false;
    line = response.substr(position + 1, lineEnd - position - 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    position = lineEnd;
    return line != ".";
}

// Whether a CAPA response names the capability (the first word of a line, in any case).
bool NamesCapability(std::string_view response, const char* name)
{
    std::size_t position = 0;
    std::string_view line;
    while (NextBodyLine(response, position, line)) {
        if (EqualsIgnoringCase(line.substr(0, line.find(' ')), name))
            return true;
    }
    return false;
}

// Takes the ids of a UIDL listing, one line "number id" per message. The listing must give
// the messages 1 to count in this order, each a non-empty id of its own; the id is the rest of
// the line after the blanks that follow the number, byte for byte. false for anything else.
bool ReadUniqueIdListing(std::string_view response, int count, CUniqueIdSet& ids)
{
    if (count < 0)
        return false;
    // The ids are part of the response, so its size is room enough for their bytes; a line
    // takes at least four of them, which bounds the room for a count that the reply belies.
    std::size_t lines = std::min(static_cast<std::size_t>(count), response.size() / 4);
    ids.Reserve(lines, response.size());
    long long expected = 1;
    std::size_t cursor = 0;
    std::string_view line;
    while (NextBodyLine(response, cursor, line)) {
        std::size_t position = 0;
        long long number = 0;
        while (position < line.size() && line[position] >= '0' && line[position] <= '9' &&
               number <= expected)
            number = number * 10 + (line[position++] - '0');
        std::size_t digitsEnd = position;
        while (position < line.size() && (line[position] == ' ' || line[position] == '\t'))
            ++position;
        if (digitsEnd == 0 || number != expected || expected > count || position == digitsEnd ||
            position == line.size() || !ids.Add(line.substr(position)))
            return false;
        ++expected;
    }
    return expected == static_cast<long long>(count) + 1;
}

std::string FormatCommand(const char* format, int n)
{
    char command[24];
    std::snprintf(command, sizeof command, format, n);
    return command;
}

}  // namespace

CPop3Client::CPop3Client()
    : m_bSizesAllocated(0),
      m_nMessageCount(0),
      m_timeLimitMilliseconds(kDefaultTimeLimitMilliseconds),
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

void CPop3Client::SendCommand(const std::string& command)
{
    // The result is not examined: a send that fails shows itself through the receive after it.
    m_socket.SendAll(command.data(), command.size(), m_timeLimitMilliseconds);
}

// One receive of up to capacity bytes (at most the size of m_area) into m_area. One that
// delivers nothing (the peer closed, an error, or the time limit passed) closes the
// connection, so that every later step fails at once instead of waiting.
int CPop3Client::ReceiveSome(std::size_t capacity)
{
    if (capacity > m_area.size())
        capacity = m_area.size();
    int received = m_socket.Receive(m_area.data(), static_cast<int>(capacity), m_timeLimitMilliseconds);
    if (received <= 0) {
        m_socket.Close();
        return received < 0 ? -1 : 0;
    }
    return received;
}

// Reads one single-line reply: the bytes up to and including the first LF, at most
// kReplyLimit of them, however the network cuts them. The rest of an overlong line is skipped
// so that the next reply starts at a line start. A closed or failed connection ends the reply
// with what has arrived, which may be nothing. Bytes after the line end wait in m_pending.
std::string CPop3Client::ReadReplyLine()
{
    std::string reply;
    bool skipping = false;
    for (;;) {
        std::string_view pending = PendingBytes();
        if (!pending.empty()) {
            std::size_t lineEnd = pending.find('\n');
            std::size_t take = lineEnd == kNoEnd ? pending.size() : lineEnd + 1;
            if (!skipping) {
                std::size_t room = kReplyLimit - reply.size();
                reply.append(pending.substr(0, take < room ? take : room));
            }
            TakePending(take);
            if (lineEnd != kNoEnd)
                break;
            if (reply.size() >= kReplyLimit)
                skipping = true;
            continue;
        }
        // The status line of a multi-line response usually arrives with the lines after it;
        // a generous receive takes them in the same call.
        if (ReceiveIntoPending(kReceiveArea) <= 0)
            break;
    }
    return reply;
}

int CPop3Client::SingleLineStep(const std::string& command, const char* errorText)
{
    SendCommand(command);
    std::string reply = AsText(ReadReplyLine());
    if (IsErrorReply(reply)) {
        m_strErrorText = std::string(errorText) + "\r\n" + reply;
        return 0;
    }
    return 1;
}

// Adds received bytes to response until endOf finds its end; bytes after the end stay pending
// for the next reply. 1 when complete; 0 when the connection closed or a receive failed first.
int CPop3Client::GatherResponse(std::string& response, ResponseEnd endOf, std::size_t areaSize)
{
    for (;;) {
        std::string_view more = PendingBytes();
        if (!more.empty()) {
            std::size_t end = endOf(response, more);
            std::size_t taken = end == kNoEnd ? more.size() : end;
            response.append(more.substr(0, taken));
            TakePending(taken);
            if (end != kNoEnd)
                return 1;
        }
        if (ReceiveIntoPending(areaSize) <= 0)
            return 0;
    }
}

// Reads one multi-line response, its status line included, onto the end of response.
// Refused: the status line is a refusal, and response holds it alone. Broken: the connection
// closed or a receive failed before the end line.
CPop3Client::ResponseOutcome CPop3Client::ReadResponse(std::string& response, std::size_t areaSize)
{
    response += ReadReplyLine();
    if (IsErrorReply(AsText(response)))
        return ResponseOutcome::Refused;
    return GatherResponse(response, TerminatedEnd, areaSize) ? ResponseOutcome::Complete
                                                              : ResponseOutcome::Broken;
}

int CPop3Client::Login(const std::string& server, const std::string& user,
                       const std::string& password)
{
    ServerAddress address;
    if (!ParseServerText(server, address) ||
        !m_socket.Connect(address.host, address.port, m_timeLimitMilliseconds)) {
        m_socket.Close();
        m_strErrorText = kPop3TextCannotConnect;
        return 0;
    }
    if (address.kind == ConnectionKind::Tls && !StartTls(address.host))
        return 0;
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

int CPop3Client::User(const std::string& name)
{
    return SingleLineStep("USER " + name + "\r\n", kPop3TextBadUsername);
}

int CPop3Client::Pass(const std::string& password)
{
    return SingleLineStep("PASS " + password + "\r\n", kPop3TextBadPassword);
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
    if (!GatherResponse(response, ListingEnd, kReceiveArea)) {
        m_strErrorText = kPop3TextListError;
        return 0;
    }
    m_pSizes.clear();
    m_bSizesAllocated = 1;

    std::size_t lineEnd = response.find('\n');
    std::string listing = AsText(response.substr(lineEnd + 1));
    if (listing.empty() || listing[0] == '.')
        return 1;
    // Every blank before the end line starts a size; the message numbers are not read, so
    // entry i holds the size from the (i+1)-th listing line. Entries past the count are
    // ignored, and a negative count keeps the table empty.
    std::size_t end = listing.find('.');
    if (end == std::string::npos)
        end = listing.size();
    std::size_t wanted = m_nMessageCount > 0 ? static_cast<std::size_t>(m_nMessageCount) : 0;
    for (std::size_t position = 0; position < end && m_pSizes.size() < wanted; ++position) {
        if (listing[position] == ' ')
            m_pSizes.push_back(DecimalAt(listing, position + 1));
    }
    return 1;
}

int CPop3Client::Quit()
{
    // Replies still owed to commands sent ahead come first on the wire.
    DrainOwedReplies();
    SendCommand("QUIT \r\n");
    std::string reply = AsText(ReadReplyLine());
    if (IsErrorReply(reply)) {
        m_strErrorText = std::string(kPop3TextQuitError) + "\r\n" + reply;
        return 0;
    }
    return 1;
}

int CPop3Client::GetListedSize(int n) const
{
    if (n < 1 || static_cast<std::size_t>(n) > m_pSizes.size())
        return 0;
    return m_pSizes[static_cast<std::size_t>(n) - 1];
}

// Sends a TOP or RETR command for message n and reads its whole response, status line and
// end line included, into response. The response may outgrow its first buffer: a listed size
// that understates the message costs a reallocation, never a cut or an overrun.
int CPop3Client::RetrieveResponse(const char* format, int n, bool keepReceivedOnFailure,
                                  std::string& response)
{
    if (n < 1 || n > m_nMessageCount) {
        m_strErrorText = kPop3TextRetrieveError;
        return 0;
    }
    long long capacity = static_cast<long long>(GetListedSize(n)) + kResponseSlack;
    if (capacity < kResponseSlack)
        capacity = kResponseSlack;
    if (capacity > static_cast<long long>(kLargestArea))
        capacity = static_cast<long long>(kLargestArea);
    std::size_t areaSize = static_cast<std::size_t>(capacity) < kReceiveArea
                               ? kReceiveArea
                               : static_cast<std::size_t>(capacity);
    // Both buffers are obtained before the command goes out, so that a failure leaves no
    // response unread on the connection to be taken for the next one.
    std::string received;
    try {
        received.reserve(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        m_strErrorText = kPop3TextResponseBufferFailed;
        return -1;
    }
    try {
        if (m_area.size() < areaSize)
            m_area.resize(areaSize);
    } catch (const std::bad_alloc&) {
        m_strErrorText = kPop3TextChunkBufferFailed;
        return -1;
    }

    SendUnlessSentAhead(FormatCommand(format, n));
    switch (ReadResponse(received, areaSize)) {
    case ResponseOutcome::Refused:
        m_strErrorText = std::string(kPop3TextRetrieveError) + "\r\n" + AsText(received);
        return 0;
    case ResponseOutcome::Broken:
        m_strErrorText = kPop3TextRetrieveError;
        if (keepReceivedOnFailure)
            m_strErrorText += "\r\n" + AsText(received);
        return 0;
    case ResponseOutcome::Complete:
        break;
    }
    response = AsText(received);
    return 1;
}

int CPop3Client::RetrieveSummary(int n, std::string& line)
{
    std::string header;
    int result = RetrieveResponse(kTopFormat, n, false, header);
    if (result != 1)
        return result;
    line = SummaryLine(UnstuffedMessage(header));
    return 1;
}

int CPop3Client::RetrieveMessage(int n, std::string& text)
{
    std::string response;
    int result = RetrieveResponse("RETR %d\r\n", n, true, response);
    if (result != 1)
        return result;
    text = ViewerText(UnstuffedMessage(response));
    return 1;
}

int CPop3Client::UniqueIds(CUniqueIdSet& ids)
{
    ids.Clear();
    SendUnlessSentAhead("UIDL\r\n");
    std::string response;
    if (ReadResponse(response, kReceiveArea) != ResponseOutcome::Complete)
        return 0;
    if (!ReadUniqueIdListing(response, m_nMessageCount, ids)) {
        ids.Clear();
        return 0;
    }
    return 1;
}

int CPop3Client::Capa()
{
    SendUnlessSentAhead("CAPA\r\n");
    std::string response;
    if (ReadResponse(response, kReceiveArea) != ResponseOutcome::Complete)
        return 0;
    m_bPipelining = NamesCapability(response, "PIPELINING") ? 1 : 0;
    m_bUniqueIds = NamesCapability(response, "UIDL") ? 1 : 0;
    return 1;
}

bool CPop3Client::OffersUniqueIds() const
{
    return m_bUniqueIds != 0;
}

void CPop3Client::PipelineSummaries(int first, int last)
{
    if (!m_bPipelining || first < 1 || first > last || last > m_nMessageCount)
        return;
    m_nNextAhead = first;
    m_nLastAhead = last;
}

bool CPop3Client::SendsCommandsAhead() const
{
    return m_nLastAhead > 0;
}

// The bytes received and not yet taken by a reply.
std::string_view CPop3Client::PendingBytes() const
{
    return std::string_view(m_pending).substr(m_pendingStart);
}

void CPop3Client::TakePending(std::size_t count)
{
    m_pendingStart += count;
    if (m_pendingStart >= m_pending.size()) {
        m_pending.clear();
        m_pendingStart = 0;
    }
}

// One receive (see ReceiveSome) whose bytes join the pending ones.
int CPop3Client::ReceiveIntoPending(std::size_t capacity)
{
    int received = ReceiveSome(capacity);
    if (received > 0) {
        m_pending.erase(0, m_pendingStart);
        m_pendingStart = 0;
        m_pending.append(m_area.data(), static_cast<std::size_t>(received));
    }
    return received;
}

// Sends command, unless it went out ahead and its reply is the next one owed. A command that
// did not go out ahead ends the commands ahead, once their replies have been read.
void CPop3Client::SendUnlessSentAhead(const std::string& command)
{
    if (m_commandsAhead.empty() && m_nLastAhead > 0 && m_nNextAhead <= m_nLastAhead &&
        command == FormatCommand(kTopFormat, static_cast<int>(m_nNextAhead)))
        SendAhead();
    if (!m_commandsAhead.empty() && m_commandsAhead.front() == command) {
        m_nBytesAhead -= command.size();
        m_commandsAhead.pop_front();
        SendAhead();
        return;
    }
    DrainOwedReplies();
    SendCommand(command);
}

// Sends the next TOP commands of the run in one piece, as many as the window has room for.
void CPop3Client::SendAhead()
{
    std::string commands;
    while (m_nLastAhead > 0 && m_nNextAhead <= m_nLastAhead &&
           m_commandsAhead.size() < kMostCommandsAhead) {
        std::string command = FormatCommand(kTopFormat, static_cast<int>(m_nNextAhead));
        if (m_nBytesAhead + command.size() > kMostBytesAhead)
            break;
        m_nBytesAhead += command.size();
        commands += command;
        m_commandsAhead.push_back(std::move(command));
        ++m_nNextAhead;
    }
    if (!commands.empty())
        SendCommand(commands);
}

// Reads and drops the replies still owed to commands sent ahead, and sends no more ahead, so
// that the next command's reply is its own. 1 when every one came; 0 when the connection
// broke first, which has closed it.
int CPop3Client::DrainOwedReplies()
{
    m_nLastAhead = 0;
    int complete = 1;
    while (complete && !m_commandsAhead.empty()) {
        m_commandsAhead.pop_front();
        std::string reply;
        complete = ReadResponse(reply, kReceiveArea) != ResponseOutcome::Broken;
    }
    m_commandsAhead.clear();
    m_nBytesAhead = 0;
    return complete;
}
