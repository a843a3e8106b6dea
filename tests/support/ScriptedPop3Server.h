// A POP3 server for tests: a thread on 127.0.0.1 (or ::1) at an ephemeral port that either follows a
// script of exact exchanges (transcript mode) or serves a mailbox as a real server would.
#ifndef KELVOR_TESTS_SUPPORT_SCRIPTEDPOP3SERVER_H
#define KELVOR_TESTS_SUPPORT_SCRIPTEDPOP3SERVER_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The loopback address a server listens on.
enum class Loopback { Ipv4, Ipv6 };

class CScriptedPop3Server {
public:
    // Binds 127.0.0.1 (or ::1) at the port given, or at one the system chooses, and starts
    // serving at once. A port that cannot be bound is reported in Failures(), and Port() is 0.
    explicit CScriptedPop3Server(int port = 0, Loopback loopback = Loopback::Ipv4);
    // Stops the thread and closes every socket.
    ~CScriptedPop3Server();

    CScriptedPop3Server(const CScriptedPop3Server&) = delete;
    CScriptedPop3Server& operator=(const CScriptedPop3Server&) = delete;

    // "127.0.0.1:<port>" or "[::1]:<port>", the server text a client logs in to.
    std::string Address() const;
    int Port() const;

    // Transcript mode. A connection that arrives while steps are waiting is served by them, in
    // order; when they run out the server reads on (recording) until the client closes.
    // Expect: the client must send exactly these bytes next (5 s at most); a difference is
    // recorded in Failures() and ends the connection.
    CScriptedPop3Server& Expect(const std::string& command);
    // Sends the bytes in one send.
    CScriptedPop3Server& Reply(const std::string& bytes);
    // Sends each piece in a send of its own, pausing between pieces.
    CScriptedPop3Server& ReplyInPieces(const std::vector<std::string>& pieces,
                                       int pauseMilliseconds = 20);
    CScriptedPop3Server& Pause(int milliseconds);
    // Sends filler again and again, as a response that never ends, until the client closes
    // the connection or the server stops.
    CScriptedPop3Server& ReplyEndlessly(const std::string& filler);
    // Sends the bytes one at a time with a pause after each, until the client closes.
    CScriptedPop3Server& Dribble(const std::string& bytes, int pauseMilliseconds);
    // Closes the connection from the server's side.
    CScriptedPop3Server& CloseConnection();
    // Sends nothing more and reads on until the client closes the connection.
    CScriptedPop3Server& Stall();

    // Waits until every scripted connection so far has ended; false when it did not end in time.
    bool WaitUntilScriptEnds(int timeLimitMilliseconds = 5000);
    // Every byte the clients sent on scripted connections, in order.
    std::string Received() const;
    // What went differently from the script; empty when the script was followed.
    std::string Failures() const;

    // Mailbox mode, used when no script steps are waiting: whole messages with CR LF line
    // ends, served to every connection with USER, PASS, STAT, NOOP, LIST, TOP n lines, RETR n and
    // QUIT. Changes take effect with the next connection.
    void SetMessages(std::vector<std::string> messages);
    // USER and PASS are answered "-ERR" while on.
    void RefuseLogin(bool refuse);
    // TOP for message n is answered "-ERR".
    void RefuseTop(int n);
    // UIDL lists these ids for messages 1, 2, ... (as many lines as ids, whatever the
    // count). Until this is called UIDL is refused, as a server without it would.
    void SetUniqueIds(std::vector<std::string> ids);
    void RefuseUniqueIds();
    // CAPA names these capabilities, one per line. Until this is called CAPA is refused.
    void SetCapabilities(std::vector<std::string> capabilities);
    // AUTH XOAUTH2 logs in with one of these access tokens and refuses any other, with the
    // failure challenge first. Until this is called AUTH is refused.
    void AcceptTokens(std::vector<std::string> tokens);
    // Every command line received in mailbox mode, without its CR LF, across connections.
    std::vector<std::string> Commands() const;
    int ConnectionCount() const;

private:
    enum class StepKind { Expect, Reply, Pause, Close, Stall, Endless, Dribble };
    struct Step {
        StepKind kind;
        std::string bytes;
        int milliseconds;
    };

    CScriptedPop3Server& AddStep(StepKind kind, const std::string& bytes, int milliseconds);
    void Run();
    void ServeScript(std::intptr_t connection, std::vector<Step> steps);
    void ServeMailbox(std::intptr_t connection);
    // The socket operations that the mailbox mode shares with the transcript mode.
    static bool SendBytes(std::intptr_t connection, const std::string& bytes);
    static void CloseConnectionSocket(std::intptr_t connection);
    // Reads until the client closes the connection or the server stops, recording the bytes.
    // Waits for bytes from the client while the server runs; 0 once it stops or the client
    // has closed, below 0 on an error, else the number of bytes received.
    int ReceiveUnlessStopping(std::intptr_t connection, char* area, int capacity);
    void DrainUntilClosed(std::intptr_t connection);
    bool Stopping() const;
    void AddFailure(const std::string& text);
    void RecordReceived(const char* data, std::size_t length);

    mutable std::mutex m_mutex;
    std::condition_variable m_scriptEnded;
    std::intptr_t m_listener;
    Loopback m_loopback;
    int m_port;
    bool m_stopping;
    std::vector<Step> m_steps;
    int m_scriptsRunning;
    std::string m_received;
    std::string m_failures;
    std::vector<std::string> m_messages;
    bool m_refuseLogin;
    std::vector<int> m_refusedTops;
    bool m_uniqueIdsGiven;
    std::vector<std::string> m_uniqueIds;
    bool m_capabilitiesGiven;
    std::vector<std::string> m_capabilities;
    std::vector<std::string> m_tokens;
    std::vector<std::string> m_commands;
    int m_connectionCount;
    std::thread m_thread;
};

#endif
