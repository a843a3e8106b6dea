// The received list and the viewer against a scripted POP3 server: one entry per message
// with the progress in the status line, repainted at the screen's pace, failures kept in
// their entries, TOP commands ahead of their replies, the baseline moved by a listing, and
// the double-click that shows one message while the conversation is open.
#include <string>
#include <vector>

#include "ExpectedTexts.h"
#include "MailboxFixture.h"

namespace {

class MailListTest : public MailboxFixture {
protected:
    std::string RefusedSummaryText(int number)
    {
        CPop3Client client;
        EXPECT_EQ(client.Login(server.Address(), "user", "secret"), 1);
        std::string line;
        EXPECT_LT(client.RetrieveSummary(number, line), 1);
        std::string text = client.GetErrorText();
        client.Quit();
        return text;
    }

    // Each reading of the window's clock comes step milliseconds after the one before.
    void ClockAdvancingBy(long long step)
    {
        dialog.SetClock([this, step] { return m_now += step; });
    }

    long long m_now = 0;

    std::string MessageText(int number)
    {
        CPop3Client client;
        EXPECT_EQ(client.Login(server.Address(), "user", "secret"), 1);
        std::string text;
        EXPECT_EQ(client.RetrieveMessage(number, text), 1);
        client.Quit();
        return text;
    }
};

TEST_F(MailListTest, ListingWithAFailingSecondSummaryGivesThreeEntriesAndCountsProgress)
{
    server.SetMessages(Mailbox(3));
    server.RefuseTop(2);
    const std::string refusal = RefusedSummaryText(2);
    ASSERT_FALSE(refusal.empty());
    StartWindow(10, 0);
    window.listEntries = {"from an earlier listing"};
    ClockAdvancingBy(50);  // entries slower than the screen's pace: each one repainted

    dialog.OnCommand(IDC_SHOWLIST);

    EXPECT_EQ(window.listEntries,
              (std::vector<std::string>{"sender1@example : Message 1", refusal, "sender3@example : Message 3"}));
    const std::vector<std::string> progress = {
        "ListReset",
        "ListAppend sender1@example : Message 1", "SetControlText 1007 1 / 3", "RepaintNow",
        "ListAppend " + refusal, "SetControlText 1007 2 / 3", "RepaintNow",
        "ListAppend sender3@example : Message 3", "SetControlText 1007 3 / 3", "RepaintNow",
        "SetControlText 1007 ", "RepaintNow",
        "EndWaitCursor",
    };
    const std::vector<std::string> tail(window.calls.end() - static_cast<std::ptrdiff_t>(progress.size()),
                                        window.calls.end());
    EXPECT_EQ(tail, progress);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(dialog.m_lastCount, 3);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(LastCommand(), "QUIT");
}

// A server that claims far more messages than it lists gets no more entries than it listed.
TEST_F(MailListTest, ListingHasNoMoreEntriesThanTheServerListed)
{
    server.Reply("+OK\r\n").Expect("USER user\r\n").Reply("+OK\r\n").Expect("PASS secret\r\n")
        .Reply("+OK\r\n").Expect("STAT \r\n").Reply("+OK 99999999999999999999 100\r\n")
        .Expect("NOOP\r\n").Reply("+OK\r\n").Expect("LIST \r\n").Reply("+OK\r\n1 100\r\n.\r\n")
        .Expect("CAPA\r\n").Reply("-ERR\r\n").Expect("TOP 1 0\r\n").Reply("-ERR gone\r\n")
        .Expect("QUIT \r\n").Reply("+OK\r\n");
    StartWindow(10, 0);
    dialog.OnShowList();
    EXPECT_EQ(window.listEntries.size(), 1u);
    EXPECT_TRUE(server.WaitUntilScriptEnds());
    EXPECT_EQ(server.Failures(), "");
}

// Entries that come faster than the screen's pace are repainted together, at most every 40 ms,
// and once at the end; every entry and every progress text still goes to the window.
TEST_F(MailListTest, ListingRepaintsAtTheScreensPaceAndOnceAtTheEnd)
{
    struct Row {
        long long step;
        std::vector<int> repaintedAfter;
        const char* why;
    };
    const Row rows[] = {
        {0, {}, "all at once: only the end"},
        {15, {3, 6, 9}, "every 15 ms: every third entry"},
        {40, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "every 40 ms: each entry"},
    };
    server.SetMessages(Mailbox(10));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        StartWindow(10, 0);
        ClockAdvancingBy(row.step);
        dialog.OnShowList();
        std::vector<std::string> expectedRepaints;
        std::vector<std::string> repaints;
        for (std::size_t i = 0; i < window.calls.size(); ++i) {
            if (window.calls[i] == "RepaintNow")
                repaints.push_back(window.calls[i - 1]);
        }
        for (int entry : row.repaintedAfter)
            expectedRepaints.push_back("SetControlText 1007 " + std::to_string(entry) + " / 10");
        expectedRepaints.push_back("SetControlText 1007 ");
        EXPECT_EQ(repaints, expectedRepaints);
        EXPECT_EQ(window.CallsStartingWith("ListAppend").size(), 10u);
        EXPECT_EQ(window.CallsStartingWith("SetControlText 1007").size(), 11u);
    }
}

// A server that names PIPELINING gets the TOP commands ahead; the list is the same. When one
// of them is refused, the list ends with that entry and the replies owed are read before QUIT.
TEST_F(MailListTest, PipeliningServerGivesTheSameListAndARefusalEndsIt)
{
    server.SetMessages(Mailbox(4));
    server.SetCapabilities({"TOP", "PIPELINING"});
    StartWindow(10, 0);
    dialog.OnShowList();
    EXPECT_EQ(window.listEntries,
              (std::vector<std::string>{"sender1@example : Message 1", "sender2@example : Message 2",
                                        "sender3@example : Message 3", "sender4@example : Message 4"}));
    EXPECT_EQ(CountCommands("CAPA"), 1);

    server.RefuseTop(2);
    const std::string refusal = RefusedSummaryText(2);
    StartWindow(10, 0);
    dialog.OnShowList();
    EXPECT_EQ(window.listEntries, (std::vector<std::string>{"sender1@example : Message 1", refusal}));
    EXPECT_EQ(window.CallsStartingWith("SetControlText 1007"),
              (std::vector<std::string>{"SetControlText 1007 1 / 4", "SetControlText 1007 2 / 4",
                                        "SetControlText 1007 "}));
    const std::vector<std::string> commands = server.Commands();
    const std::vector<std::string> tail(commands.end() - 5, commands.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"TOP 1 0", "TOP 2 0", "TOP 3 0", "TOP 4 0", "QUIT "}));
    EXPECT_EQ(dialog.m_lastCount, 4);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(window.calls.back(), "EndWaitCursor");
}

TEST_F(MailListTest, ListingMovesTheBaselineWithoutTouchingTheIcon)
{
    server.SetMessages(Mailbox(3));
    StartWindow(10, 0);
    dialog.OnShowList();
    EXPECT_TRUE(window.CallsStartingWith("TrayRequest").empty());
    dialog.OnCheck();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::MailCountReport(3, 0));
    EXPECT_EQ(window.CallsStartingWith("TrayRequest"), std::vector<std::string>{"TrayRequest Modify 128"});
}

TEST_F(MailListTest, EmptyMailboxKeepsTheOldEntriesAndZeroesTheBaseline)
{
    server.SetMessages({});
    StartWindow(10, 0);
    window.listEntries = {"old entry"};
    window.texts[IDC_STATUS] = "";
    dialog.m_lastCount = 4;
    dialog.OnShowList();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kMailboxEmpty);
    EXPECT_EQ(window.listEntries, std::vector<std::string>{"old entry"});
    EXPECT_TRUE(window.CallsStartingWith("SetControlText 1007").empty());
    EXPECT_EQ(dialog.m_lastCount, 0);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(LastCommand(), "QUIT");
}

TEST_F(MailListTest, FailedLoginLeavesListAndBaselineAndStillSendsQuit)
{
    server.SetMessages(Mailbox(2));
    server.RefuseLogin(true);
    const std::string refusal = FailedLoginText();
    StartWindow(10, 0);
    window.listEntries = {"old entry"};
    dialog.m_lastCount = 7;
    for (auto handler : {&CKelvorDlg::OnShowList, &CKelvorDlg::OnListDblClk}) {
        window.ClearRecords();
        (dialog.*handler)();
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, refusal);
        EXPECT_EQ(window.listEntries, std::vector<std::string>{"old entry"});
        EXPECT_EQ(dialog.m_lastCount, 7);
        EXPECT_EQ(dialog.m_busy, 0);
        EXPECT_EQ(LastCommand(), "QUIT");
        EXPECT_LT(window.IndexOf("CloseMessage"), window.IndexOf("EndWaitCursor"));
    }
}

TEST_F(MailListTest, InvalidIntervalIsReportedAndTheListingRunsWithTheSettingsHeldBefore)
{
    server.SetMessages(Mailbox(1));
    StartWindow(10, 0);
    window.texts[IDC_INTERVAL] = "abc";
    window.texts[IDC_SERVER] = "127.0.0.1:1";
    dialog.OnShowList();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kParseInt);
    EXPECT_EQ(window.listEntries, std::vector<std::string>{"sender1@example : Message 1"});
}

TEST_F(MailListTest, DoubleClickShowsTheSelectedMessageWhileTheConversationStaysOpen)
{
    server.SetMessages(Mailbox(3));
    const std::string third = MessageText(3);
    StartWindow(1, 0);
    dialog.OnShowList();
    window.selection = 2;
    window.ClearRecords();

    std::string lastCommandWhileOpen;
    window.whileViewerOpen = [&](const std::string&) {
        lastCommandWhileOpen = LastCommand();
        EXPECT_EQ(dialog.m_busy, 1);
        dialog.OnTimer(IDT_CHECK);  // due, but waits
        dialog.OnCommand(ID_TRAY_CHECK);
    };
    const int connectionsBefore = server.ConnectionCount();
    dialog.OnListDblClk();

    EXPECT_EQ(window.viewerTexts, std::vector<std::string>{third});
    EXPECT_EQ(third.rfind("From: sender3@example\r\n", 0), 0u);  // the status line is gone
    // TOP for every line of the message leaves it unread on the server; RETR is never sent.
    EXPECT_EQ(lastCommandWhileOpen, "TOP 3 " + std::to_string(Mailbox(3)[2].size()));
    EXPECT_EQ(CountCommands("RETR 3"), 0);
    EXPECT_EQ(LastCommand(), "QUIT");
    EXPECT_EQ(server.ConnectionCount(), connectionsBefore + 1);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kBusy);
    EXPECT_LT(window.IndexOf("EndWaitCursor"), window.IndexOf("ShowViewer"));
    EXPECT_EQ(dialog.m_lastCount, 3);
    EXPECT_EQ(dialog.m_busy, 0);

    dialog.OnTimer(IDT_CHECK);  // the first tick after the viewer closed runs the waiting check
    EXPECT_EQ(server.ConnectionCount(), connectionsBefore + 2);
}

TEST_F(MailListTest, DoubleClickOutsideTheMailboxRetrievesNothingAndOpensNoViewer)
{
    struct Row {
        int selection;
        const char* why;
    };
    const Row rows[] = {
        {-1, "nothing selected"},
        {2, "list from an earlier, longer mailbox"},
        {1000, "far beyond the mailbox"},
    };
    server.SetMessages(Mailbox(2));
    StartWindow(10, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        window.ClearRecords();
        window.selection = row.selection;
        dialog.OnListDblClk();
        EXPECT_TRUE(window.viewerTexts.empty());
        EXPECT_TRUE(window.messages.empty());
        EXPECT_EQ(LastCommand(), "QUIT");
        EXPECT_EQ(dialog.m_busy, 0);
        EXPECT_EQ(dialog.m_lastCount, 2);
        EXPECT_EQ(window.calls.back(), "EndWaitCursor");
    }
    EXPECT_EQ(CountCommands("RETR 3"), 0);
    EXPECT_EQ(CountCommands("RETR 0"), 0);
    EXPECT_EQ(CountCommands("RETR 1001"), 0);
}

TEST_F(MailListTest, DoubleClickOnAnEmptyMailboxSaysNoMail)
{
    server.SetMessages({});
    StartWindow(10, 0);
    window.selection = 0;
    dialog.m_lastCount = 5;
    dialog.OnListDblClk();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "No Mail");
    EXPECT_TRUE(window.viewerTexts.empty());
    EXPECT_EQ(dialog.m_lastCount, 0);
    EXPECT_EQ(LastCommand(), "QUIT");
}

}  // namespace
