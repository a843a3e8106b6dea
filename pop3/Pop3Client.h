// CPop3Client: one POP3 conversation with one server over one stream (TCP, or TLS on TCP):
// login, mailbox statistics and listing, retrieval of headers and whole messages, logout, and
// error texts.
#ifndef KELVOR_POP3_POP3CLIENT_H
#define KELVOR_POP3_POP3CLIENT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/Pop3Stream.h"

class CUniqueIdSet;

class CPop3Client {
public:
    CPop3Client();
    // Closes the connection without sending anything (no QUIT).
    virtual ~CPop3Client();

    CPop3Client(const CPop3Client&) = delete;
    CPop3Client& operator=(const CPop3Client&) = delete;

    // Connects to the server text ("host", "host:port", "pop3s://host[:port]" or
    // "pop3+starttls://host[:port]", see ServerAddress.h), begins TLS where it asks for it,
    // reads the greeting and runs USER, PASS, STAT, NOOP and LIST. 1 on success; 0 with the
    // reason in GetErrorText().
    int Login(const std::string& server, const std::string& user, const std::string& password);
    // Sends QUIT over whatever connection there is, after reading the replies still owed to
    // commands sent ahead. 1, or 0 when the server refused it.
    int Quit();
    std::string GetErrorText() const;
    int GetMessageCount() const;
    // The size of message n as the listing's line for n gave it; 0 for a message that no
    // line sized.
    int GetListedSize(int n) const;
    // How many messages the listing gave a size for, each counted once whatever the order of
    // its lines (at most the count). A list of the mailbox has no more entries than this,
    // whatever count the server claimed.
    int GetListedCount() const;

    // The summary line of message n ("sender : subject", decoded, Shift_JIS) from its header.
    // 1 with the line; 0 or -1 with the error text set and line left as it was.
    int RetrieveSummary(int n, std::string& line);
    // The whole text of message n without the status line, decoded, Shift_JIS. Same results.
    // Asks with TOP for every line, which leaves the message unread on the server; RETR
    // follows only when the server refuses that TOP.
    int RetrieveMessage(int n, std::string& text);

    // UIDL: the unique id of every message. 1 with ids holding one distinct id for each
    // message from 1 to the count; 0 with ids empty when the server refused, the reply broke
    // off, or the listing gives anything else. Nothing of this step is ever shown, so the
    // error text is left as it was.
    int UniqueIds(CUniqueIdSet& ids);

    // CAPA: the server's capabilities. 1 when it named them; 0 when it refused or the reply
    // broke off. Only PIPELINING and UIDL are taken from them.
    int Capa();
    // Whether the capabilities named UIDL, so that UniqueIds may be asked without a refusal.
    bool OffersUniqueIds() const;
    // Announces that RetrieveSummary follows for every message from first to last, in order.
    // When the capabilities named PIPELINING, their TOP commands then go out ahead of the
    // replies, a bounded window at a time; otherwise nothing changes.
    void PipelineSummaries(int first, int last);
    // Whether TOP commands go out ahead of their replies in this conversation.
    bool SendsCommandsAhead() const;

    // How long connect, the TLS handshake, each send and each receive may wait without
    // progress before the conversation gives up, and how long a single-line reply may take
    // from its command; a multi-line response may take one second longer for every 8 KiB it
    // has delivered, never more than the time its cap needs at 64 KiB/s. The product keeps
    // the default of 30 seconds.
    void SetTimeLimit(int milliseconds);

private:
    int StartTls(const std::string& host);
    int Stls(const std::string& host);
    int User(const std::string& name);
    int Pass(const std::string& password);
    int Stat();
    int Noop();
    int List();

    // Where a multi-line response ends: how many bytes of more, received after the bytes
    // gathered so far, complete it; npos when all of more belongs to it and more must come.
    using ResponseEnd = std::size_t (*)(std::string_view gathered, std::string_view more);
    enum class ResponseOutcome { Complete, Refused, Broken, TooLarge };

    // Runs one public step. An allocation that fails anywhere in it ends the conversation with
    // the allocation failure's text and the result failed, instead of ending the program.
    template <typename Step>
    int AtConversationEdge(int failed, Step step)
    {
        try {
            return step();
        } catch (const std::bad_alloc&) {
            return AllocationFailed(failed);
        }
    }
    int AllocationFailed(int failed);

    void SendCommand(const std::string& command);
    // The time of the reply about to be read starts now.
    void StartReplyTime();
    // When the reply being read must be complete: the time limit after its start, and for a
    // multi-line response of at most cap bytes that has delivered so many bytes, the time
    // those bytes earned (kEarnedSecondBytes), never more than its cap needs at the slowest
    // rate. A single-line reply has the cap 0.
    long long ReplyDeadline(std::size_t cap, std::size_t delivered) const;
    int ReceiveSome(std::size_t capacity, long long deadline);
    std::string ReadReplyLine();
    int SingleLineStep(const std::string& command, const char* errorText);
    ResponseOutcome GatherResponse(std::string& response, ResponseEnd endOf, std::size_t areaSize,
                                   std::size_t cap);
    ResponseOutcome ReadResponse(std::string& response, std::size_t areaSize, std::size_t cap);
    void EndConnection();
    int RetrieveResponse(const std::string& command, int n, bool keepReceivedOnFailure,
                         std::size_t cap, std::string& response, bool& refused);

    std::string_view PendingBytes() const;
    void TakePending(std::size_t count);
    int ReceiveIntoPending(std::size_t capacity, long long deadline);

    void SendUnlessSentAhead(const std::string& command);
    void SendAhead();
    int DrainOwedReplies();

    CPop3Stream m_socket;
    int m_bSizesAllocated;
    // The listed sizes, one for each message number that a listing line named within 1 to the
    // count, ordered by number. It holds only what the listing gave, so a server's count costs
    // no memory.
    struct ListedSize {
        std::int32_t number;
        std::int32_t size;
    };
    std::vector<ListedSize> m_pSizes;
    int m_nMessageCount;
    std::string m_strErrorText;
    int m_timeLimitMilliseconds;
    // When the reply being read began, on the steady clock: at its command, at the connect for
    // the greeting, or where the reading of a reply to a command sent ahead began.
    long long m_replyStartMilliseconds;
    // Bytes that arrived after the end of the reply being read; the next reply begins with them,
    // at m_pendingStart. With commands sent ahead they may hold many replies.
    std::string m_pending;
    std::size_t m_pendingStart;
    // The server named PIPELINING: it takes commands ahead of their replies.
    int m_bPipelining;
    // The server named UIDL among its capabilities.
    int m_bUniqueIds;
    // The TOP commands of messages m_nNextAhead to m_nLastAhead are still to go out ahead;
    // m_nLastAhead is 0 when no commands go ahead. The next one may pass the largest int.
    long long m_nNextAhead;
    int m_nLastAhead;
    // Commands sent ahead whose replies have not been read yet, oldest first, and their bytes.
    std::deque<std::string> m_commandsAhead;
    std::size_t m_nBytesAhead;
    // The area every receive delivers into, kept for the whole conversation; a TOP or RETR
    // response of a large message widens it before its command is sent.
    std::vector<char> m_area;
};

#endif
