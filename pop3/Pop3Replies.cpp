// CPop3Client: the reading of replies. One routine reads a single-line reply, one gathers a
// multi-line response; every command goes through them, and every receive through m_area.
#include "pop3/Pop3Client.h"

#include "pop3/Pop3Texts.h"
#include "pop3/Pop3Wire.h"

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
