// CPop3Client: TOP commands sent ahead of their replies to a server that names PIPELINING,
// within a bounded window, and the replies still owed to them.
#include "pop3/Pop3Client.h"

#include "pop3/Pop3Wire.h"

namespace {

// Commands sent ahead of their replies: at most this many, and this many bytes of them, are
// on their way at once. The bytes stay well below what the socket buffers of both ends hold,
// so sending them never waits on a server that is busy sending replies we have not read.
const std::size_t kMostCommandsAhead = 512;
const std::size_t kMostBytesAhead = 8192;

}  // namespace

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
        // The window is topped up once half of it is free, in commands and in bytes, so that
        // the commands go out a few hundred to a send rather than one per reply read: every
        // send is a call into the system, and under Wine a request to its server too.
        if (m_commandsAhead.size() <= kMostCommandsAhead / 2 && m_nBytesAhead <= kMostBytesAhead / 2)
            SendAhead();
        // The command went out long ago; its reply's time counts from now, when the replies
        // before it have been read.
        StartReplyTime();
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
// broke first or a reply was too large, which has closed it.
int CPop3Client::DrainOwedReplies()
{
    m_nLastAhead = 0;
    int complete = 1;
    while (complete && !m_commandsAhead.empty()) {
        m_commandsAhead.pop_front();
        std::string reply;
        StartReplyTime();
        ResponseOutcome outcome = ReadResponse(reply, kReceiveArea, kHeaderResponseCap);
        complete = outcome == ResponseOutcome::Complete || outcome == ResponseOutcome::Refused;
    }
    m_commandsAhead.clear();
    m_nBytesAhead = 0;
    return complete;
}
