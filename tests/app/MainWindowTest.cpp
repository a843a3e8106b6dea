// The main window's behaviour that needs no mail server: the field exchange and its interval
// validation, hide and exit, the window start, the tray icon record and its tooltip, the
// tray mouse events, the command routing, the system menu, painting and help.
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExpectedTexts.h"
#include "RecordingWindow.h"
#include "app/KelvorDlg.h"
#include "res/resource.h"

namespace {

// The five settings of the window's members as "interval password server user popup".
std::string SettingsLine(const CKelvorDlg& dialog)
{
    return std::to_string(dialog.m_interval) + " " + dialog.m_password + " " + dialog.m_server + " " +
           dialog.m_user + " " + std::to_string(dialog.m_popup);
}

// Keeps every set of settings the window hands over.
class RecordingStore : public SettingsStore {
public:
    std::vector<std::string> stored;
    void StoreSettings(const CKelvorDlg& dialog) override { stored.push_back(SettingsLine(dialog)); }
};

class MainWindowTest : public ::testing::Test {
protected:
    RecordingWindow window;
    RecordingStore store;
    CKelvorDlg dialog{window, "kelvor", &store};

    // Settings as a previous read left them, and the fields as the user has now typed them.
    void HoldOldSettingsAndTypeNewOnes(const std::string& intervalText)
    {
        dialog.m_interval = 7;
        dialog.m_password = "old-password";
        dialog.m_server = "old.example";
        dialog.m_user = "old-user";
        dialog.m_popup = 0;
        window.texts[IDC_INTERVAL] = intervalText;
        window.texts[IDC_PASSWORD] = "new-password";
        window.texts[IDC_SERVER] = "new.example";
        window.texts[IDC_USER] = "new-user";
        window.checks[IDC_POPUP] = 1;
    }

    void ExpectOldLaterSettings()
    {
        EXPECT_EQ(dialog.m_password, "old-password");
        EXPECT_EQ(dialog.m_server, "old.example");
        EXPECT_EQ(dialog.m_user, "old-user");
        EXPECT_EQ(dialog.m_popup, 0);
    }
};

enum class IntervalOutcome { Accepted, NotAnInteger, OutOfRange };

struct IntervalRow {
    const char* text;
    IntervalOutcome outcome;
    int interval;  // m_interval afterwards (7 is the value held before)
    const char* why;
};

const IntervalRow kIntervalRows[] = {
    {"5", IntervalOutcome::Accepted, 5, "plain number"},
    {"+5", IntervalOutcome::Accepted, 5, "explicit plus sign"},
    {" 5 ", IntervalOutcome::Accepted, 5, "blanks around the number"},
    {"\t5\t", IntervalOutcome::Accepted, 5, "tabs count as blanks"},
    {"1", IntervalOutcome::Accepted, 1, "lowest valid interval"},
    {"60", IntervalOutcome::Accepted, 60, "highest valid interval"},
    {"0005", IntervalOutcome::Accepted, 5, "leading zeros"},
    {"5                              x", IntervalOutcome::Accepted, 5, "a 32nd byte does not count"},
    {"5                             x", IntervalOutcome::NotAnInteger, 7, "a 31st byte does"},
    {"", IntervalOutcome::NotAnInteger, 7, "empty field"},
    {"abc", IntervalOutcome::NotAnInteger, 7, "letters"},
    {"5x", IntervalOutcome::NotAnInteger, 7, "trailing garbage"},
    {"5 5", IntervalOutcome::NotAnInteger, 7, "two numbers"},
    {"-0", IntervalOutcome::NotAnInteger, 7, "zero that does not start with the digit 0"},
    {"+0", IntervalOutcome::NotAnInteger, 7, "zero behind a plus sign"},
    {"-", IntervalOutcome::NotAnInteger, 7, "lone sign"},
    {"   ", IntervalOutcome::NotAnInteger, 7, "blanks only"},
    {"5.0", IntervalOutcome::NotAnInteger, 7, "decimal point"},
    {"0", IntervalOutcome::OutOfRange, 0, "zero is an integer but below the range"},
    {"00", IntervalOutcome::OutOfRange, 0, "double zero"},
    {"61", IntervalOutcome::OutOfRange, 61, "just above the range"},
    {"-3", IntervalOutcome::OutOfRange, -3, "negative"},
    {"2147483647", IntervalOutcome::OutOfRange, INT_MAX, "largest 32-bit number"},
    {"2147483648", IntervalOutcome::OutOfRange, INT_MAX, "saturates to the largest"},
    {"99999999999999999999", IntervalOutcome::OutOfRange, INT_MAX, "far beyond 32 bits"},
    {"-2147483649", IntervalOutcome::OutOfRange, INT_MIN, "saturates to the smallest"},
};

TEST_F(MainWindowTest, IntervalFieldIsAcceptedOrRejectedWithItsMessage)
{
    for (const IntervalRow& row : kIntervalRows) {
        SCOPED_TRACE(std::string("\"") + row.text + "\": " + row.why);
        window.ClearRecords();
        HoldOldSettingsAndTypeNewOnes(row.text);

        const int result = dialog.ExchangeFields(FieldDirection::Read);

        EXPECT_EQ(dialog.m_interval, row.interval);
        if (row.outcome == IntervalOutcome::Accepted) {
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(window.messages.empty());
            EXPECT_EQ(dialog.m_password, "new-password");
            EXPECT_EQ(dialog.m_server, "new.example");
            EXPECT_EQ(dialog.m_user, "new-user");
            EXPECT_EQ(dialog.m_popup, 1);
            continue;
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, row.outcome == IntervalOutcome::NotAnInteger
                                               ? expected::kParseInt
                                               : expected::kParseIntRange1To60);
        EXPECT_EQ(window.messages[0].caption, "kelvor");
        EXPECT_EQ(window.messages[0].style, MessageStyle::Exclamation);
        // The message first, then the field gets the focus with its text selected.
        EXPECT_LT(window.IndexOf("CloseMessage"), window.IndexOf("FocusAndSelectAll 1000"));
        ExpectOldLaterSettings();
    }
}

TEST_F(MainWindowTest, RangeMessageComesFromTheLoadedStringWithBothPlaceholdersFilled)
{
    window.strings = [](int id) {
        return id == IDP_PARSE_INT_RANGE ? std::string("from %1 to %2, %1 again") : std::string();
    };
    HoldOldSettingsAndTypeNewOnes("99");
    EXPECT_EQ(dialog.ExchangeFields(FieldDirection::Read), 0);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "from 1 to 60, 1 again");
}

TEST_F(MainWindowTest, ShowingFieldsWritesMembersAndResetsAnUnknownPopupState)
{
    struct Row {
        int popupBefore;
        int shownAndKept;
    };
    const Row rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}, {INT_MIN, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.popupBefore);
        dialog.m_interval = 0;
        dialog.m_password = "secret";
        dialog.m_server = "pop.example";
        dialog.m_user = "user";
        dialog.m_popup = row.popupBefore;
        EXPECT_EQ(dialog.ExchangeFields(FieldDirection::Show), 1);
        EXPECT_EQ(window.texts[IDC_INTERVAL], "0");  // no range check when showing
        EXPECT_EQ(window.texts[IDC_PASSWORD], "secret");
        EXPECT_EQ(window.texts[IDC_SERVER], "pop.example");
        EXPECT_EQ(window.texts[IDC_USER], "user");
        EXPECT_EQ(window.checks[IDC_POPUP], row.shownAndKept);
        EXPECT_EQ(dialog.m_popup, row.shownAndKept);
    }
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(MainWindowTest, HideWithInvalidIntervalShowsMessageHidesAndKeepsOldServer)
{
    HoldOldSettingsAndTypeNewOnes("abc");
    EXPECT_TRUE(dialog.OnCommand(ID_HIDE));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kParseInt);
    EXPECT_GT(window.IndexOf("Hide"), window.IndexOf("CloseMessage"));
    ExpectOldLaterSettings();
}

TEST_F(MainWindowTest, HideTakesTheFieldsOver)
{
    HoldOldSettingsAndTypeNewOnes("15");
    dialog.OnHide();
    EXPECT_NE(window.IndexOf("Hide"), -1);
    EXPECT_EQ(dialog.m_interval, 15);
    EXPECT_EQ(dialog.m_server, "new.example");
}

TEST_F(MainWindowTest, SettingsAreStoredWhenConfirmedAndWhenTheSessionEndsWithoutABox)
{
    const std::string oldSettings = "7 old-password old.example old-user 0";
    const std::string newSettings = "15 new-password new.example new-user 1";
    struct Row {
        const char* why;
        const char* intervalText;
        std::function<void(CKelvorDlg&)> event;
        std::vector<std::string> stored;
        std::string members;
        std::vector<std::string> windowCalls;
    };
    const auto hide = [](CKelvorDlg& d) { d.OnCommand(ID_HIDE); };
    const auto sessionEnds = [](CKelvorDlg& d) { d.OnEndSession(1); };
    const auto systemQuits = [](CKelvorDlg& d) { d.OnSystemQuit(); };
    const std::vector<Row> rows = {
        {"OK with fields that pass", "15", hide, {newSettings}, newSettings, {"Hide"}},
        {"OK cuts the user name at a CR and the password at a LF", "15",
         [this](CKelvorDlg& d) {
             window.texts[IDC_USER] = "new-user\r\nDELE 1";
             window.texts[IDC_PASSWORD] = "new-password\nQUIT";
             d.OnCommand(ID_HIDE);
         },
         {newSettings}, newSettings, {"Hide"}},
        {"OK cuts both at a zero byte", "15",
         [this](CKelvorDlg& d) {
             window.texts[IDC_USER] = std::string("new-user\0\r", 10);
             window.texts[IDC_PASSWORD] = std::string("new-password\0x", 14);
             d.OnCommand(ID_HIDE);
         },
         {newSettings}, newSettings, {"Hide"}},
        {"OK with no number keeps the file", "abc", hide, {}, oldSettings,
         {"ShowMessage", "CloseMessage", "FocusAndSelectAll 1000", "Hide"}},
        {"OK out of range keeps the file", "0", hide, {}, "0 old-password old.example old-user 0",
         {"ShowMessage", "CloseMessage", "FocusAndSelectAll 1000", "Hide"}},
        {"session ends, fields pass", "15", sessionEnds, {newSettings}, newSettings, {}},
        {"session ends, fields fail: the members", "61", sessionEnds, {oldSettings}, oldSettings, {}},
        {"session goes on after all", "15", [](CKelvorDlg& d) { d.OnEndSession(0); }, {}, oldSettings, {}},
        {"system quits, fields pass: the normal end writes", "15", systemQuits, {}, newSettings,
         {"EndDialog 1"}},
        {"system quits, fields fail", "x", systemQuits, {}, oldSettings, {"EndDialog 1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        window.ClearRecords();
        store.stored.clear();
        HoldOldSettingsAndTypeNewOnes(row.intervalText);
        row.event(dialog);
        EXPECT_EQ(store.stored, row.stored);
        EXPECT_EQ(SettingsLine(dialog), row.members);
        // The validation messages are checked elsewhere; here only that a box came up.
        std::vector<std::string> calls;
        for (const std::string& call : window.calls)
            calls.push_back(call.rfind("ShowMessage ", 0) == 0 ? "ShowMessage" : call);
        EXPECT_EQ(calls, row.windowCalls);
    }
    window.ClearRecords();
    EXPECT_EQ(dialog.OnQueryEndSession(), 1);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(MainWindowTest, ExitAnsweredNoChangesNothing)
{
    HoldOldSettingsAndTypeNewOnes("15");
    window.boxScript.push_back({MessageAnswer::No, nullptr});
    dialog.OnExit();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kConfirmExit);
    EXPECT_EQ(window.messages[0].caption, "Kelvor");
    EXPECT_EQ(window.messages[0].style, MessageStyle::YesNoQuestion);
    EXPECT_EQ(dialog.m_interval, 7);
    ExpectOldLaterSettings();
    EXPECT_TRUE(window.CallsStartingWith("EndDialog").empty());
}

TEST_F(MainWindowTest, ExitWithInvalidIntervalShowsRangeMessageAndStays)
{
    HoldOldSettingsAndTypeNewOnes("0");
    dialog.OnExit();
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, expected::kConfirmExit);
    EXPECT_EQ(window.messages[1].text, expected::kParseIntRange1To60);
    EXPECT_TRUE(window.CallsStartingWith("EndDialog").empty());
    EXPECT_TRUE(window.CallsStartingWith("Hide").empty());
}

TEST_F(MainWindowTest, ExitAnsweredYesTakesTheFieldsOverAndEndsTheWindow)
{
    HoldOldSettingsAndTypeNewOnes("30");
    EXPECT_TRUE(dialog.OnCommand(ID_TRAY_EXIT));
    EXPECT_EQ(window.CallsStartingWith("EndDialog"), std::vector<std::string>{"EndDialog 1"});
    EXPECT_EQ(dialog.m_interval, 30);
    EXPECT_EQ(dialog.m_password, "new-password");
    EXPECT_EQ(dialog.m_popup, 1);
}

TEST_F(MainWindowTest, WindowStartShowsFieldsAddsMenuEntryIconTrayAndTimerInOrder)
{
    dialog.m_interval = 10;
    dialog.m_server = "pop.example";
    dialog.m_ticks = 4;
    dialog.m_busy = 1;
    dialog.m_lastCount = 9;
    dialog.OnInitDialog();

    const std::vector<std::string> expectedCalls = {
        "SetControlText 1000 10",
        "SetControlText 1003 ",
        "SetControlText 1001 pop.example",
        "SetControlText 1002 ",
        "SetCheck 1006 0",
        "AppendSystemMenuSeparator",
        "AppendSystemMenuItem 16 " + expected::kAboutMenuEntry,
        "SetWindowIcons 128",
        "TrayRequest Add 128",
        "TrayRequest Modify 128",
        "StartTimer 1 60000",
        "SetFocus 1000",
        "ShowNormal",
    };
    EXPECT_EQ(window.calls, expectedCalls);
    EXPECT_EQ(dialog.m_ticks, 0);
    EXPECT_EQ(dialog.m_busy, 0);
    EXPECT_EQ(dialog.m_lastCount, 0);
}

TEST_F(MainWindowTest, WindowStartAddsNoMenuEntryWithoutSystemMenuOrWithoutItsString)
{
    window.hasSystemMenu = false;
    dialog.OnInitDialog();
    EXPECT_TRUE(window.CallsStartingWith("AppendSystemMenu").empty());

    RecordingWindow stringless;
    stringless.strings = [](int) { return std::string(); };
    CKelvorDlg other(stringless, "kelvor");
    other.OnInitDialog();
    EXPECT_TRUE(stringless.CallsStartingWith("AppendSystemMenu").empty());
    EXPECT_NE(stringless.IndexOf("StartTimer 1 60000"), -1);
}

TEST_F(MainWindowTest, TrayRecordCarriesItsFixedValuesInEveryRequest)
{
    dialog.AddTrayIcon();
    dialog.SetTrayIcon(1);
    dialog.OnDestroy();

    ASSERT_EQ(window.trayCalls.size(), 4u);
    EXPECT_EQ(window.trayCalls[0].action, TrayAction::Add);
    EXPECT_EQ(std::string(window.trayCalls[0].record.tooltip), "");  // the tooltip follows
    EXPECT_EQ(window.trayCalls[1].action, TrayAction::Modify);
    EXPECT_EQ(std::string(window.trayCalls[1].record.tooltip), "Kelvor");
    EXPECT_EQ(window.trayCalls[3].action, TrayAction::Delete);
    EXPECT_EQ(window.trayCalls[3].record.iconResource, IDI_NEWMAIL);
    for (const TrayCall& call : window.trayCalls) {
        EXPECT_EQ(call.record.size, 88u);
        EXPECT_EQ(call.record.iconId, 1u);
        EXPECT_EQ(call.record.flags, 7u);
        EXPECT_EQ(call.record.callbackMessage, 0x807Bu);
    }
}

TEST_F(MainWindowTest, OnlyTheValueOneSelectsTheNewMailPicture)
{
    dialog.AddTrayIcon();
    window.ClearRecords();
    for (int flag : {1, 1, 0, 2, -1, 1})
        dialog.SetTrayIcon(flag);
    const std::vector<std::string> expectedCalls = {
        "TrayRequest Modify 131", "TrayRequest Modify 131", "TrayRequest Modify 128",
        "TrayRequest Modify 128", "TrayRequest Modify 128", "TrayRequest Modify 131",
    };
    EXPECT_EQ(window.calls, expectedCalls);
}

TEST_F(MainWindowTest, TooltipIsCutTo54BytesOfStatusWithoutALoneShiftJisLeadByte)
{
    const std::string sjisA = "\x82\xA0";  // a two-byte Shift_JIS character
    const std::string katakanaA = "\xB1";  // a one-byte (half-width) Shift_JIS character
    struct Row {
        std::string status;
        std::string tooltip;
        const char* why;
    };
    const std::vector<Row> rows = {
        {"", "Kelvor", "no status"},
        {"checking", "Kelvor : checking", "short status kept whole"},
        {std::string(60, 'x'), "Kelvor : " + std::string(54, 'x'), "60 bytes cut to 54"},
        {std::string(54, 'x'), "Kelvor : " + std::string(54, 'x'), "exactly 54 bytes"},
        {std::string(52, 'x') + sjisA + "yy", "Kelvor : " + std::string(52, 'x') + sjisA,
         "character ending at byte 54 kept"},
        {std::string(53, 'x') + sjisA, "Kelvor : " + std::string(53, 'x'),
         "character across byte 54 dropped whole"},
        {std::string(27, sjisA[0]) + std::string(27, sjisA[1]) + "zz",
         "Kelvor : " + std::string(27, sjisA[0]) + std::string(27, sjisA[1]),
         "bytes that pair up from the start"},
        {std::string(60, katakanaA[0]), "Kelvor : " + std::string(54, katakanaA[0]),
         "half-width katakana are single bytes"},
        {"ab\x82", "Kelvor : ab", "lone lead byte at the end"},
        {std::string("ab\0cd", 5), "Kelvor : ab", "a zero byte ends the status"},
    };
    dialog.AddTrayIcon();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        window.ClearRecords();
        dialog.SetTrayTip(row.status);
        ASSERT_EQ(window.trayCalls.size(), 1u);
        EXPECT_EQ(window.trayCalls[0].action, TrayAction::Modify);
        const TrayRecord& record = window.trayCalls[0].record;
        EXPECT_EQ(record.tooltip[sizeof record.tooltip - 1], '\0');
        EXPECT_EQ(std::string(record.tooltip), row.tooltip);
    }
}

TEST_F(MainWindowTest, TrayMouseEventsOpenTheMenuOrShowTheWindow)
{
    struct Row {
        int mouseEvent;
        std::vector<std::string> calls;
    };
    const std::vector<Row> rows = {
        {kTrayRightButtonDown, {"ShowTrayMenu 130"}},
        {kTrayLeftButtonDoubleClick, {"ShowNormal"}},
        {0x0200, {}},  // move
        {0x0201, {}},  // left press
        {0x0202, {}},  // left release
        {0x0205, {}},  // right release
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mouseEvent);
        window.ClearRecords();
        EXPECT_EQ(dialog.OnTrayNotify(ID_TRAYICON, row.mouseEvent), 0);
        EXPECT_EQ(window.calls, row.calls);
    }
    EXPECT_EQ(dialog.OnTrayNotify(99, kTrayLeftButtonDoubleClick), 0);  // the id is not examined
}

TEST_F(MainWindowTest, CommandsWhileBusyAreRefusedWithTheirOwnTexts)
{
    dialog.m_busy = 1;
    dialog.m_lastCount = 4;
    window.listEntries = {"kept"};
    struct Row {
        int commandId;
        std::string refusal;
    };
    const std::vector<Row> rows = {
        {IDC_CHECK, expected::kBusy},
        {ID_TRAY_CHECK, expected::kBusy},
        {IDC_SHOWLIST, expected::kBusyList},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.commandId);
        window.ClearRecords();
        EXPECT_TRUE(dialog.OnCommand(row.commandId));
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].text, row.refusal);
        EXPECT_EQ(window.messages[0].caption, "kelvor");
        EXPECT_EQ(window.messages[0].style, MessageStyle::Plain);
    }
    window.ClearRecords();
    dialog.OnListDblClk();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, expected::kBusy);

    EXPECT_EQ(dialog.m_busy, 1);
    EXPECT_EQ(dialog.m_lastCount, 4);
    EXPECT_EQ(window.listEntries, std::vector<std::string>{"kept"});
    EXPECT_TRUE(window.CallsStartingWith("BeginWaitCursor").empty());
}

TEST_F(MainWindowTest, UnknownCommandsAreLeftToThePlatform)
{
    for (int commandId : {0, 5, 17, 1000, 57670, 32773}) {
        EXPECT_FALSE(dialog.OnCommand(commandId)) << commandId;
    }
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(MainWindowTest, VersionBoxOpensFromTrayMenuAndFromSystemCommandsSixteenToThirtyOne)
{
    EXPECT_TRUE(dialog.OnCommand(IDM_ABOUTBOX));
    EXPECT_EQ(window.calls, std::vector<std::string>{"ShowAboutBox"});

    struct Row {
        unsigned commandId;
        std::string call;
    };
    const std::vector<Row> rows = {
        {16, "ShowAboutBox"},
        {17, "ShowAboutBox"},
        {31, "ShowAboutBox"},
        {0x10010, "ShowAboutBox"},  // only the low 16 bits less the low four count
        {15, "DefaultSystemCommand 15 77"},
        {32, "DefaultSystemCommand 32 77"},
        {0xF060, "DefaultSystemCommand 61536 77"},  // close
        {0xF012, "DefaultSystemCommand 61458 77"},  // move by the caption
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.commandId);
        window.ClearRecords();
        dialog.OnSysCommand(row.commandId, 77);
        EXPECT_EQ(window.calls, std::vector<std::string>{row.call});
    }
}

TEST_F(MainWindowTest, MinimisedWindowDrawsTheIconCentred)
{
    struct Row {
        int width, height, iconWidth, iconHeight, x, y;
    };
    const Row rows[] = {
        {100, 80, 32, 32, 34, 24},
        {101, 81, 32, 32, 35, 25},
        {32, 32, 32, 32, 0, 0},
        {10, 10, 32, 32, -10, -10},  // integer halves truncate toward zero
    };
    window.minimized = true;
    for (const Row& row : rows) {
        window.ClearRecords();
        window.clientWidth = row.width;
        window.clientHeight = row.height;
        window.iconWidth = row.iconWidth;
        window.iconHeight = row.iconHeight;
        dialog.OnPaint();
        EXPECT_EQ(window.calls, std::vector<std::string>{"DrawIconAt 128 " + std::to_string(row.x) + " " +
                                                         std::to_string(row.y)});
    }
    window.minimized = false;
    window.ClearRecords();
    dialog.OnPaint();
    EXPECT_EQ(window.calls, std::vector<std::string>{"DefaultPaint"});
    EXPECT_EQ(dialog.OnQueryDragIcon(), IDI_NOMAIL);
}

TEST_F(MainWindowTest, HelpAsksForTheMainWindowsTopic)
{
    dialog.OnHelp();
    EXPECT_EQ(window.calls, std::vector<std::string>{"ShowHelp " + std::to_string(0x20000 + 102)});
}

}  // namespace
