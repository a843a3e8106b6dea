// CPop3Client: the reading of replies, each within its deadline: one routine reads a single-line
// reply, one gathers a multi-line response up to its cap; every command goes through them.
#include "pop3/Pop3Client.h"

#include <chrono>

#include "pop3/Pop3Wire.h"

namespace {

// A single-line reply that goes on this long without its line end is no reply: the step ends
// as if the connection had failed.
const std::size_t kLongestReplyLine = 64 * 1024;

long long NowMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void CPop3Client::SendCommand(const std::string& command)
{
    // The reply's time counts from its command.
    StartReplyTime();
    // The result is not examined: a send that fails shows itself through the receive after it.
    m_socket.SendAll(command.data(), command.size(), m_timeLimitMilliseconds);
}

void CPop3Client::StartReplyTime()
{
    m_replyStartMilliseconds = NowMilliseconds();
}

long long CPop3Client::ReplyDeadline(std::size_t cap, std::size_t delivered) const
{
    const long long earned = static_cast<long long>(delivered) * 1000 / kEarnedSecondBytes;
    const long long most = static_cast<long long>(cap) * 1000 / kSlowestResponseBytesPerSecond;
    return m_replyStartMilliseconds + m_timeLimitMilliseconds + (earned < most ? earned : most);
}

// One receive of up to capacity bytes (at most the size of m_area) into m_area, waiting for
// them no longer than the time limit and never past deadline. One that delivers nothing (the
// peer closed, an error, or the time passed) closes the connection, so that every later step
// fails at once instead of waiting.
int CPop3Client::ReceiveSome(std::size_t capacity, long long deadline)
{
    if (capacity > m_area.size())
        capacity = m_area.size();
    long long remaining = deadline - NowMilliseconds();
    if (remaining > m_timeLimitMilliseconds)
        remaining = m_timeLimitMilliseconds;
    int received = -1;
    if (remaining > 0) {
        received = m_socket.Receive(m_area.data(), static_cast<int>(capacity),
                                    static_cast<int>(remaining));
    }
    if (received <= 0) {
        m_socket.Close();
        return received < 0 ? -1 : 0;
    }
    return received;
}

// Reads one single-line reply: the bytes up to and including the first LF, at most
// kReplyLimit of them, however the network cuts them, within the time limit from its command.
// The rest of an overlong line is skipped so that the next reply starts at a line start; a line
// longer than kLongestReplyLine closes the connection. A closed or failed connection ends the
// reply with what has arrived, which may be nothing. Bytes after the line end wait in m_pending.
std::string CPop3Client::ReadReplyLine()
{
    const long long deadline = ReplyDeadline(0, 0);
    std::string reply;
    bool skipping = false;
    std::size_t lineLength = 0;
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
            lineLength += take;
            if (lineLength > kLongestReplyLine) {
                EndConnection();
                break;
            }
            if (reply.size() >= kReplyLimit)
                skipping = true;
            continue;
        }
        // The status line of a multi-line response usually arrives with the lines after it;
        // a generous receive takes them in the same call.
        if (ReceiveIntoPending(kReceiveArea, deadline) <= 0)
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
// for the next reply. Complete; Broken when the connection closed, a receive failed or the
// deadline passed first (see ReplyDeadline: what has arrived earns the time for more);
// TooLarge when the response would grow past cap bytes, which closes the connection as a
// failure would.
CPop3Client::ResponseOutcome CPop3Client::GatherResponse(std::string& response, ResponseEnd endOf,
                                                         std::size_t areaSize, std::size_t cap)
{
    for (;;) {
        std::string_view more = PendingBytes();
        if (!more.empty()) {
            std::size_t end = endOf(response, more);
            std::size_t taken = end == kNoEnd ? more.size() : end;
            if (response.size() + taken > cap) {
                EndConnection();
                return ResponseOutcome::TooLarge;
            }
            response.append(more.substr(0, taken));
            TakePending(taken);
            if (end != kNoEnd)
                return ResponseOutcome::Complete;
        }
        // The deadline moves on with every byte that arrives, up to the cap's bound.
        if (ReceiveIntoPending(areaSize, ReplyDeadline(cap, response.size())) <= 0)
            return ResponseOutcome::Broken;
    }
}

// Reads one multi-line response of at most cap bytes, its status line included, onto the end
// of response. Refused: the status line is a refusal, and response holds it alone. Broken and
// TooLarge as GatherResponse says.
CPop3Client::ResponseOutcome CPop3Client::ReadResponse(std::string& response, std::size_t areaSize,
                                                       std::size_t cap)
{
    response += ReadReplyLine();
    if (IsErrorReply(AsText(response)))
        return ResponseOutcome::Refused;
    return GatherResponse(response, TerminatedEnd, areaSize, cap);
}

// Closes the connection and drops what was received and not read, as a failed receive does.
void CPop3Client::EndConnection()
{
    m_socket.Close();
    std::string().swap(m_pending);
    m_pendingStart = 0;
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
int CPop3Client::ReceiveIntoPending(std::size_t capacity, long long deadline)
{
    int received = ReceiveSome(capacity, deadline);
    if (received > 0) {
        m_pending.erase(0, m_pendingStart);
        m_pendingStart = 0;
        m_pending.append(m_area.data(), static_cast<std::size_t>(received));
    }
    return received;
}
