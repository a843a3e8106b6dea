// kelvor.exe's settings driven from outside through its real windows: the defaults, the old
// settings of the Windows directory, the writes at "OK", at exit and at the end of the session,
// and the password kept by the Credential Manager. Japanese texts here are compiled to Shift_JIS.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "KelvorProgramFixture.h"
#include "ProgramDriver.h"
#include "res/resource.h"

namespace {

TEST_F(KelvorProgram, FirstStartShowsTheDefaultsWithTheFocusOnTheInterval)
{
    StartProgram();
    EXPECT_EQ(TextOf(Item(IDC_INTERVAL)), "10");
    EXPECT_EQ(TextOf(Item(IDC_SERVER)), "");
    EXPECT_EQ(TextOf(Item(IDC_USER)), "");
    EXPECT_EQ(SendMessageA(Item(IDC_POPUP), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(WaitUntil([&] { return m_program.FocusedControl() == Item(IDC_INTERVAL); }, 3000));

    // Tab visits the fields, "OK", the list and the check box; the other buttons are skipped.
    const int tabOrder[] = {IDC_SERVER, IDC_USER, IDC_PASSWORD, IDCANCEL, IDC_MAILLIST, IDC_POPUP,
                            IDC_INTERVAL};
    HWND control = Item(IDC_INTERVAL);
    for (int expected : tabOrder) {
        control = GetNextDlgTabItem(m_main, control, FALSE);
        EXPECT_EQ(GetDlgCtrlID(control), expected);
    }
}

TEST_F(KelvorProgram, SettingsOfTheWindowsDirectoryAreShownAndKeptInTheUsersApplicationData)
{
    const std::string oldFile = WindowsDirectorySettingsPath();
    for (const auto& [key, value] :
         {std::pair{"INT", "7"}, {"POP", "pop.example.jp"}, {"USR", "山田"}, {"PWD", "s3cret"}, {"PUP", "1"}})
        WriteSetting(key, value, oldFile);
    StartProgram();
    EXPECT_EQ(TextOf(Item(IDC_INTERVAL)), "7");
    EXPECT_EQ(TextOf(Item(IDC_SERVER)), "pop.example.jp");
    EXPECT_EQ(TextOf(Item(IDC_USER)), "山田");
    EXPECT_EQ(SendMessageA(Item(IDC_POPUP), BM_GETCHECK, 0, 0), BST_CHECKED);
    SetField(IDC_INTERVAL, "8");
    ExitWithYes();
    EXPECT_EQ(ReadSetting("INT"), "8");
    // The password has moved into the Credential Manager, and left the old file too.
    EXPECT_EQ(ReadSetting("PWD"), "<missing>");
    EXPECT_EQ(KeptPassword("pop.example.jp", "山田"), "s3cret");
    EXPECT_EQ(ReadSetting("INT", oldFile), "7");
    EXPECT_EQ(ReadSetting("PWD", oldFile), "<missing>");

    // From now on the old file is not read.
    WriteSetting("POP", "old.example.jp", oldFile);
    StartProgram();
    EXPECT_EQ(TextOf(Item(IDC_SERVER)), "pop.example.jp");
}

TEST_F(KelvorProgram, ExitWithYesRemovesTheTrayIconAndWritesTheFiveSettings)
{
    WriteSetting("PWD", "pa ss");
    StartProgram();
    SetField(IDC_INTERVAL, "15");
    SetField(IDC_SERVER, "mail.example.jp");
    SetField(IDC_USER, "山田");
    SendMessageA(Item(IDC_POPUP), BM_SETCHECK, BST_CHECKED, 0);
    ExitWithYes();
    EXPECT_EQ(ReadSetting("INT"), "15");
    EXPECT_EQ(ReadSetting("POP"), "mail.example.jp");
    EXPECT_EQ(ReadSetting("USR"), "山田");
    EXPECT_EQ(ReadSetting("PWD"), "<missing>");
    EXPECT_EQ(KeptPassword("mail.example.jp", "山田"), "pa ss");
    EXPECT_EQ(ReadSetting("PUP"), "1");
    const std::vector<TrayNotice> notices = m_tray.Notices();
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back().request, static_cast<std::uint32_t>(NIM_DELETE));
}

TEST_F(KelvorProgram, OkWritesAtOnceAndTheEndOfTheSessionWritesTheFieldsWithoutABox)
{
    StartProgram();
    SetField(IDC_USER, "hanako");
    Press(m_main, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(m_main); }));
    EXPECT_TRUE(WaitUntil([] { return ReadSetting("USR") == "hanako"; }, 3000));

    // The system asks at log-off, then ends the session; whatever the fields hold then is
    // written if it passes, otherwise what the program last took over.
    struct Row {
        const char* interval;
        const char* server;
        const char* storedInterval;
        const char* storedServer;
    };
    const Row rows[] = {{"25", "pop.example.jp", "25", "pop.example.jp"},
                        {"abc", "other.example.jp", "25", "pop.example.jp"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval);
        SetField(IDC_INTERVAL, row.interval);
        SetField(IDC_SERVER, row.server);
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutA(m_main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                        5000, &answer));
        EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
        ASSERT_TRUE(SendMessageTimeoutA(m_main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                                        5000, &answer));
        EXPECT_EQ(ReadSetting("INT"), row.storedInterval);
        EXPECT_EQ(ReadSetting("POP"), row.storedServer);
        EXPECT_EQ(ReadSetting("USR"), "hanako");
        EXPECT_EQ(m_program.WaitForDialog(kTitle, m_main, 300), nullptr) << "a box at the end of the session";
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(KelvorProgram, PasswordConfirmedWithOkIsKeptByTheCredentialManagerAndTheNextStartLogsInWithIt)
{
    StartProgram();
    PointAtServer();
    Press(m_main, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return KeptPassword(m_server.Address(), "alice") == "secret"; }, 3000));
    EXPECT_EQ(ReadSetting("PWD"), "<missing>");
    ExitWithYes();
    EXPECT_EQ(ReadSetting("PWD"), "<missing>");

    StartProgram();
    Press(m_main, IDC_CHECK);
    EXPECT_EQ(TakeMessage(kTitle), "メールボックスの中に 2 通のメールがあります\r\n\r\n（うち新規メール 2 通）");
    const std::vector<std::string> commands = m_server.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "PASS secret"), commands.end());
    ExitWithYes();
}

}  // namespace
