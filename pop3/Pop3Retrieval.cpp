// CPop3Client: the retrieval of a message's header (TOP n 0) for its summary line and of the
// whole message for the viewer (TOP n with every line, RETR only where TOP is refused).
#include "pop3/Pop3Client.h"

#include <new>
#include <string>

#include "message/MessageText.h"
#include "pop3/Pop3Texts.h"
#include "pop3/Pop3Wire.h"

namespace {

// A TOP or RETR response is first given room for its listed size plus this much, and its
// receives ask for as much (at least kReceiveArea, at most kLargestArea).
const long long kResponseSlack = 100;
const std::size_t kLargestArea = 1 << 20;
// The body lines asked for with TOP when the listing gave no size: more lines than the
// largest message response holds octets could never arrive anyway.
const int kLinesOfAnUnsizedMessage = static_cast<int>(kLargestMessageCap);

// TOP n L with L the listed size in octets: a message has no more lines than octets, so this
// asks for every line of its body.
std::string WholeMessageTop(int n, int listedSize)
{
    int lines = listedSize > 0 ? listedSize : kLinesOfAnUnsizedMessage;
    return "TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n";
}

}  // namespace

// Sends a TOP or RETR command for message n and reads its whole response, status line and
// end line included, into response. The response may outgrow its first buffer up to cap: a
// listed size that understates the message costs a reallocation, never a cut or an overrun.
// refused tells whether a result 0 came from a status line "-ERR".
int CPop3Client::RetrieveResponse(const std::string& command, int n, bool keepReceivedOnFailure,
                                  std::size_t cap, std::string& response, bool& refused)
{
    refused = false;
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

    SendUnlessSentAhead(command);
    switch (ReadResponse(received, areaSize, cap)) {
    case ResponseOutcome::Refused:
        refused = true;
        m_strErrorText = std::string(kPop3TextRetrieveError) + "\r\n" + AsText(received);
        return 0;
    case ResponseOutcome::Broken:
        m_strErrorText = kPop3TextRetrieveError;
        if (keepReceivedOnFailure)
            m_strErrorText += "\r\n" + AsText(received);
        return 0;
    case ResponseOutcome::TooLarge:
        m_strErrorText = std::string(kPop3TextResponseTooLarge) + "\r\n" + CommandLine(command);
        return 0;
    case ResponseOutcome::Complete:
        break;
    }
    response = AsText(received);
    return 1;
}

int CPop3Client::RetrieveSummary(int n, std::string& line)
{
    return AtConversationEdge(-1, [&] {
        std::string header;
        bool refused = false;
        int result = RetrieveResponse(FormatCommand(kTopFormat, n), n, false, kHeaderResponseCap,
                                      header, refused);
        if (result != 1)
            return result;
        line = SummaryLine(UnstuffedMessage(header));
        return 1;
    });
}

int CPop3Client::RetrieveMessage(int n, std::string& text)
{
    return AtConversationEdge(-1, [&] {
        // Services that count a RETR as a download hide such a message from later sessions,
        // mark it read or move it away; a TOP leaves it untouched. A server without TOP
        // refuses it, and only then is the message fetched with RETR, once, in the same
        // conversation.
        const int listedSize = GetListedSize(n);
        const std::size_t cap = MessageCap(listedSize);
        std::string response;
        bool refused = false;
        int result = RetrieveResponse(WholeMessageTop(n, listedSize), n, true, cap, response, refused);
        if (result == 0 && refused)
            result = RetrieveResponse(FormatCommand("RETR %d\r\n", n), n, true, cap, response, refused);
        if (result != 1)
            return result;
        text = ViewerText(UnstuffedMessage(response));
        return 1;
    });
}
