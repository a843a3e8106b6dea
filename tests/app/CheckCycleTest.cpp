// The mail check cycle against a scripted POP3 server: when the timer starts a check, the
// new-mail decision with its icon and boxes, by count and by unique id, the server-change
// reset, failures, and the busy guard while a box of the cycle is open.
#include <string>
#include <vector>

#include "ExpectedTexts.h"
#include "MailboxFixture.h"

namespace {

class CheckCycleTest : public MailboxFixture {};

TEST_F(CheckCycleTest, TimerChecksAtTheFifthTickAndFiveTicksAfterThatCheckEnded)
{
    server.SetMessages(Mailbox(2));
    StartWindow(5, 0);
    for (int tick = 1; tick <= 4; ++tick)
        dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(dialog.m_ticks, 4);

    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(dialog.m_ticks, 0);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(dialog.m_lastCount, 2);
    EXPECT_TRUE(window.messages.empty());  // timer-driven, popup off: silent

    for (int tick = 1; tick <= 4; ++tick)
        dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 1);
    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_EQ(CountCommands("QUIT"), 2);
}

TEST_F(CheckCycleTest, IntervalBelowOneChecksAtEveryTickUntilAValidOneIsTakenOver)
{
    server.SetMessages(Mailbox(1));
    StartWindow(0, 0);
    window.texts[IDC_INTERVAL] = "0";
    dialog.OnTimer(IDT_CHECK);
    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 2);
    // Each check's transfer rejected the 0 and went on with the members as they stood.
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, expected::kParseIntRange1To60);

    dialog.m_interval = -4;
    window.texts[IDC_INTERVAL] = "3";
    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 3);
    EXPECT_EQ(dialog.m_interval, 3);
    dialog.OnTimer(IDT_CHECK);
    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 3);
    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 4);
}

struct DecisionRow {
    bool manual;
    int popup;
    int remembered;
    int found;
    int icon;
    std::string box;  // empty: no box
    const char* why;
};

TEST_F(CheckCycleTest, NewMailDecisionSetsIconThenShowsBoxThenMovesTheBaseline)
{
    const std::vector<DecisionRow> rows = {
        {false, 1, 3, 5, IDI_NEWMAIL, expected::kNewMail, "timer, popup, grown"},
        {false, 1, 5, 5, IDI_NOMAIL, "", "timer, popup, unchanged"},
        {false, 1, 5, 3, IDI_NOMAIL, "", "timer, popup, shrunk"},
        {false, 0, 3, 5, IDI_NEWMAIL, "", "timer, no popup, grown: silent"},
        {false, 0, 0, 0, IDI_NOMAIL, "", "timer, no popup, empty"},
        {true, 0, 3, 5, IDI_NEWMAIL, expected::MailCountReport(5, 2), "button, grown"},
        {true, 0, 5, 3, IDI_NOMAIL, expected::MailCountReport(3, 2), "button, shrunk: absolute difference"},
        {true, 0, 3, 3, IDI_NOMAIL, expected::MailCountReport(3, 0), "button, unchanged"},
        {true, 0, 3, 0, IDI_NOMAIL, expected::kMailboxEmpty, "button, empty mailbox"},
        {true, 1, 3, 5, IDI_NEWMAIL, expected::MailCountReport(5, 2), "button ignores the popup flag"},
    };
    for (const DecisionRow& row : rows) {
        SCOPED_TRACE(row.why);
        server.SetMessages(Mailbox(row.found));
        StartWindow(1, row.popup);
        dialog.m_lastCount = row.remembered;

        int countWhileBoxOpen = -1;
        std::string lastCommandWhileBoxOpen;
        window.boxScript.push_back({MessageAnswer::Ok, [&] {
                                        countWhileBoxOpen = dialog.m_lastCount;
                                        lastCommandWhileBoxOpen = LastCommand();
                                    }});
        if (row.manual)
            dialog.OnCommand(IDC_CHECK);
        else
            dialog.OnTimer(IDT_CHECK);

        const std::string iconCall = "TrayRequest Modify " + std::to_string(row.icon);
        EXPECT_EQ(window.CallsStartingWith("TrayRequest"), std::vector<std::string>{iconCall});
        EXPECT_EQ(dialog.m_lastCount, row.found);
        EXPECT_EQ(dialog.m_busy, 0);
        EXPECT_EQ(window.calls.front(), "BeginWaitCursor");
        EXPECT_EQ(window.calls.back(), "EndWaitCursor");
        if (row.box.empty()) {
            EXPECT_TRUE(window.messages.empty());
            window.boxScript.clear();
            continue;
        }
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, row.box);
        EXPECT_EQ(window.messages[0].caption, "kelvor");
        EXPECT_EQ(window.messages[0].style, MessageStyle::Plain);
        EXPECT_LT(window.IndexOf(iconCall), window.IndexOf("ShowMessage " + row.box));
        EXPECT_EQ(countWhileBoxOpen, row.remembered);  // the baseline moves after the box
        EXPECT_EQ(lastCommandWhileBoxOpen, "QUIT");    // the conversation ended before the box
    }
}

struct UniqueIdRow {
    std::vector<std::string> before;  // the ids the first check finds; none: UIDL refused
    int count;                        // messages at the second check
    bool idsGiven;                    // whether UIDL answers at the second check
    std::vector<std::string> after;
    int icon;
    int reportedNew;
    const char* why;
};

// The first check remembers the ids; the second tells new mail by them where both checks
// have ids, and by the count where not.
TEST_F(CheckCycleTest, NewMailIsToldByUniqueIdWhereTheServerGivesThem)
{
    const std::vector<std::string> five = {"a", "b", "c", "d", "e"};
    const std::string longId(70, '7');
    const std::vector<UniqueIdRow> rows = {
        {five, 4, true, {"a", "b", "x", "y"}, IDI_NEWMAIL, 2, "5 to 4 messages, 2 of them new"},
        {five, 5, true, five, IDI_NOMAIL, 0, "the same ids again"},
        {five, 2, true, {"a", "b"}, IDI_NOMAIL, 0, "messages removed, none new"},
        {five, 4, false, {}, IDI_NOMAIL, 1, "UIDL refused: the count decides"},
        {five, 4, true, {"a", "b", "x"}, IDI_NOMAIL, 1, "fewer ids than messages: the count decides"},
        {{"+/=", "\x83\x40", "a b", longId}, 4, true, {"+/=", "\x83\x40", "a b ", longId}, IDI_NEWMAIL, 1,
         "odd characters: ids differ in any byte"},
        {{}, 2, true, {"x", "y"}, IDI_NOMAIL, 1, "the first check had no ids: the count decides"},
    };
    for (const UniqueIdRow& row : rows) {
        SCOPED_TRACE(row.why);
        server.SetMessages(Mailbox(row.before.empty() ? 3 : static_cast<int>(row.before.size())));
        if (row.before.empty())
            server.RefuseUniqueIds();
        else
            server.SetUniqueIds(row.before);
        StartWindow(10, 0);
        dialog.OnCheck();
        window.ClearRecords();
        const int uidlBefore = CountCommands("UIDL");

        server.SetMessages(Mailbox(row.count));
        if (row.idsGiven)
            server.SetUniqueIds(row.after);
        else
            server.RefuseUniqueIds();
        dialog.OnCheck();
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, expected::MailCountReport(row.count, row.reportedNew));
        EXPECT_EQ(window.CallsStartingWith("TrayRequest"),
                  std::vector<std::string>{"TrayRequest Modify " + std::to_string(row.icon)});
        EXPECT_EQ(CountCommands("UIDL"), uidlBefore + 1);
    }
}

TEST_F(CheckCycleTest, TimerCheckWithPopupAnnouncesMailWithNewIdsThoughTheCountFell)
{
    server.SetMessages(Mailbox(3));
    server.SetUniqueIds({"a", "b", "c"});
    StartWindow(1, 1);
    dialog.OnTimer(IDT_CHECK);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kNewMail);

    window.ClearRecords();
    server.SetMessages(Mailbox(2));
    server.SetUniqueIds({"c", "d"});
    dialog.OnTimer(IDT_CHECK);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kNewMail);
    EXPECT_EQ(window.CallsStartingWith("TrayRequest"), std::vector<std::string>{"TrayRequest Modify 131"});

    // A listing whose server refuses CAPA takes no ids: the next check compares with its
    // count, then with ids again.
    window.ClearRecords();
    dialog.OnShowList();
    server.SetMessages(Mailbox(2));
    server.SetUniqueIds({"e", "f"});
    dialog.OnTimer(IDT_CHECK);
    EXPECT_TRUE(window.messages.empty());
    dialog.OnTimer(IDT_CHECK);
    EXPECT_TRUE(window.messages.empty());
    server.SetUniqueIds({"f", "g"});
    dialog.OnTimer(IDT_CHECK);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kNewMail);

    // A listing whose server names UIDL takes the ids as its baseline: two messages replaced
    // by two others after it are new mail though the count stays.
    server.SetCapabilities({"TOP", "UIDL"});
    dialog.OnShowList();
    window.ClearRecords();
    server.SetUniqueIds({"h", "i"});
    dialog.OnTimer(IDT_CHECK);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kNewMail);
}

TEST_F(CheckCycleTest, ServerNameEditedInTheWindowResetsTheBaselineButOneTakenOverByHidingDoesNot)
{
    server.SetMessages(Mailbox(3));
    StartWindow(10, 0);
    dialog.m_server = "old.example";
    dialog.m_lastCount = 3;
    window.texts[IDC_SERVER] = server.Address();
    dialog.OnCheck();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::MailCountReport(3, 3));
    EXPECT_EQ(window.CallsStartingWith("TrayRequest"), std::vector<std::string>{"TrayRequest Modify 131"});

    StartWindow(10, 0);
    dialog.m_server = "old.example";
    dialog.m_lastCount = 3;
    window.texts[IDC_SERVER] = server.Address();
    dialog.OnHide();
    dialog.OnTrayCheck();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::MailCountReport(3, 0));
    EXPECT_EQ(window.CallsStartingWith("TrayRequest"), std::vector<std::string>{"TrayRequest Modify 128"});
}

TEST_F(CheckCycleTest, FailedLoginOnSilentTimerCheckShowsClientTextAndKeepsIconAndBaseline)
{
    server.SetMessages(Mailbox(4));
    server.RefuseLogin(true);
    const std::string refusal = FailedLoginText();
    ASSERT_FALSE(refusal.empty());
    StartWindow(1, 0);
    dialog.m_lastCount = 2;
    dialog.OnTimer(IDT_CHECK);

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, refusal);
    EXPECT_EQ(window.messages[0].caption, "kelvor");
    EXPECT_TRUE(window.CallsStartingWith("TrayRequest").empty());
    EXPECT_EQ(dialog.m_lastCount, 2);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(dialog.m_ticks, 0);
    EXPECT_EQ(window.calls.back(), "EndWaitCursor");
}

TEST_F(CheckCycleTest, UnreachableServerIsReportedOnEveryTimerCheck)
{
    StartWindow(1, 0);
    dialog.m_server = "127.0.0.1:1";
    window.texts[IDC_SERVER] = "127.0.0.1:1";
    dialog.OnTimer(IDT_CHECK);
    dialog.OnTimer(IDT_CHECK);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_FALSE(window.messages[0].text.empty());
    EXPECT_EQ(dialog.m_busy, 0);
}

TEST_F(CheckCycleTest, TrayCheckAndTicksWhileNewMailBoxIsOpenAreRefusedOrWait)
{
    server.SetMessages(Mailbox(5));
    StartWindow(1, 1);
    dialog.m_lastCount = 3;
    window.boxScript.push_back({MessageAnswer::Ok, [&] {
                                    dialog.OnCommand(ID_TRAY_CHECK);
                                    for (int minute = 0; minute < 10; ++minute)
                                        dialog.OnTimer(IDT_CHECK);
                                    EXPECT_EQ(dialog.m_ticks, 11);
                                }});
    dialog.OnTimer(IDT_CHECK);

    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, expected::kNewMail);
    EXPECT_EQ(window.messages[1].text, expected::kBusy);
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(dialog.m_ticks, 0);  // counting starts again once the box has closed
    EXPECT_EQ(dialog.m_busy, 0);
}

TEST_F(CheckCycleTest, ReportOfAUserCheckOpenPastTheDueMinuteDelaysTheTimerCheck)
{
    server.SetMessages(Mailbox(2));
    StartWindow(2, 0);
    dialog.OnTimer(IDT_CHECK);
    window.boxScript.push_back({MessageAnswer::Ok, [&] {
                                    dialog.OnTimer(IDT_CHECK);
                                    dialog.OnTimer(IDT_CHECK);
                                }});
    dialog.OnCheck();
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(dialog.m_ticks, 3);  // a user's check does not reset the count

    dialog.OnTimer(IDT_CHECK);
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_EQ(dialog.m_ticks, 0);
}

}  // namespace
