// The fixture of the tests that drive kelvor.exe through its real windows: a stand-in
// notification area, a scripted POP3 server, the program's process and its main window, with
// the steps the tests share. Japanese texts here are compiled to Shift_JIS.
#ifndef KELVOR_TESTS_PLATFORM_WIN32_KELVORPROGRAMFIXTURE_H
#define KELVOR_TESTS_PLATFORM_WIN32_KELVORPROGRAMFIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ProgramDriver.h"
#include "ScriptedPop3Server.h"
#include "TrayWatcher.h"
#include "res/resource.h"

// Shared by the test files of one test suite, so in no unnamed namespace: both use this one class.

// The program's title: its file name without the extension. Message boxes without a
// caption of their own carry it.
const char kTitle[] = "kelvor";

const std::string kGreeting =
    "From: Taro <taro@example.jp>\r\n"
    "Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=\r\n"
    "\r\n"
    "Hello from Taro.\r\n";
const std::string kLunch =
    "From: hanako@example.jp\r\n"
    "Subject: Lunch\r\n"
    "\r\n"
    "Line one\r\n"
    "A line long enough to run past the right edge of the viewer, which does not wrap lines "
    "but scrolls them sideways instead.\r\n";

inline int CountOf(const std::vector<std::string>& lines, const std::string& line)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

class KelvorProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tray.Ready()) << "no stand-in notification area";
        RemoveSettingsFiles();
        RemoveKeptPasswords();
        m_server.SetMessages({kGreeting, kLunch});
    }

    void StartProgram(const std::string& path = WindowsPath(KELVOR_PROGRAM_PATH))
    {
        ASSERT_TRUE(m_program.Start(path)) << "CreateProcess: error " << GetLastError();
        m_main = m_program.WaitForDialog("Kelvor", nullptr);
        ASSERT_NE(m_main, nullptr) << "the window \"Kelvor\" did not appear";
    }

    // "終了" and Yes: the program writes its settings and ends.
    void ExitWithYes()
    {
        Press(m_main, IDOK);
        EXPECT_EQ(TakeMessage("Kelvor", IDYES), "Kelvorを終了しますか？");
        EXPECT_TRUE(m_program.WaitForExit(10000));
    }

    HWND Item(int controlId) const { return GetDlgItem(m_main, controlId); }

    void SetField(int controlId, const std::string& text)
    {
        SendMessageA(Item(controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    void PointAtServer()
    {
        SetField(IDC_SERVER, m_server.Address());
        SetField(IDC_USER, "alice");
        SetField(IDC_PASSWORD, "secret");
    }

    // The message box that the main window raises with this caption; its text, after "OK".
    std::string TakeMessage(const std::string& caption, int answer = IDOK)
    {
        HWND box = m_program.WaitForDialog(caption, m_main);
        if (box == nullptr)
            return "<no message box>";
        std::string text = MessageBoxText(box);
        Press(box, answer);
        WaitUntil([box] { return !IsWindow(box); });
        return text;
    }

    bool WaitForQuitCount(int count)
    {
        return WaitUntil([&] { return CountOf(m_server.Commands(), "QUIT ") >= count; });
    }

    // Starts the program on the scripted server and lists the mailbox through the button;
    // the list as it stands once it holds these entries or the time is up.
    std::vector<std::string> ListMailbox(const std::vector<std::string>& entries)
    {
        StartProgram();
        PointAtServer();
        Press(m_main, IDC_SHOWLIST);
        EXPECT_TRUE(WaitForQuitCount(1));
        WaitUntil([&] { return ListEntries(Item(IDC_MAILLIST)) == entries; }, 3000);
        return ListEntries(Item(IDC_MAILLIST));
    }

    // Double-clicks the entry at this position; the viewer that opens, or null.
    HWND OpenViewer(int position)
    {
        HWND list = Item(IDC_MAILLIST);
        SendMessageA(list, LB_SETCURSEL, position, 0);
        PostMessageA(m_main, WM_COMMAND, MAKEWPARAM(IDC_MAILLIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        return m_program.WaitForDialog("Kelvor", m_main);
    }

    CTrayWatcher m_tray;
    CScriptedPop3Server m_server;
    CProgramProcess m_program;
    HWND m_main = nullptr;
};

#endif
