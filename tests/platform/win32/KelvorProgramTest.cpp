// kelvor.exe driven from outside through its real windows: layout, check, list and viewer,
// version box, tray requests, hiding, exit and the second start (its settings are in
// KelvorSettingsTest.cpp). Japanese texts here are compiled to Shift_JIS, the bytes the
// program's windows hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <shlobj.h>

#include "KelvorProgramFixture.h"
#include "ProgramDriver.h"
#include "ScriptedPop3Server.h"
#include "TlsTestServer.h"
#include "TrayWatcher.h"
#include "pop3/Pop3Client.h"
#include "res/resource.h"

namespace {

long Style(HWND window)
{
    return GetWindowLongA(window, GWL_STYLE);
}

long ExtendedStyle(HWND window)
{
    return GetWindowLongA(window, GWL_EXSTYLE);
}

// A text value of the registry; "<missing>" when it is not there.
std::string RegistryText(HKEY root, const char* key, const char* name)
{
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

TEST_F(KelvorProgram, MainWindowHoldsItsControlsInTemplateOrderWithTheirTexts)
{
    StartProgram();
    struct Expected {
        int id;
        const char* className;
        const char* text;  // null: an edit field, checked elsewhere
        bool tabStop;
    };
    const Expected controls[] = {
        {IDOK, "Button", "終了", false},
        {IDC_STATIC, "Button", "受信リスト", false},
        {IDC_INTERVAL, "Edit", nullptr, true},
        {IDC_SERVER, "Edit", nullptr, true},
        {IDC_USER, "Edit", nullptr, true},
        {IDC_PASSWORD, "Edit", nullptr, true},
        {IDC_STATIC, "Static", "メール確認", false},
        {IDC_STATIC, "Static", "POPサーバ", false},
        {IDC_STATIC, "Static", "ユーザ名", false},
        {IDC_STATIC, "Static", "パスワード", false},
        {IDCANCEL, "Button", "OK", true},
        {IDC_CHECK, "Button", "チェックする", false},
        {IDC_SHOWLIST, "Button", "リストを表示", false},
        {IDC_MAILLIST, "ListBox", "", true},
        {IDC_POPUP, "Button", "ポップアップ", true},
        {IDC_STATUS, "Static", "", false},
        {IDC_STATIC, "Static", "分毎", false},
    };
    const std::vector<HWND> children = ChildWindows(m_main);
    ASSERT_EQ(children.size(), std::size(controls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        EXPECT_EQ(GetDlgCtrlID(children[i]), controls[i].id);
        EXPECT_EQ(ClassOf(children[i]), controls[i].className);
        if (controls[i].text != nullptr) {
            EXPECT_EQ(TextOf(children[i]), controls[i].text);
        }
        EXPECT_EQ((Style(children[i]) & WS_TABSTOP) != 0, controls[i].tabStop);
    }

    EXPECT_EQ(TextOf(m_main), "Kelvor");
    EXPECT_TRUE(ExtendedStyle(m_main) & WS_EX_TOPMOST);
    EXPECT_TRUE(ExtendedStyle(m_main) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ExtendedStyle(m_main) & WS_EX_APPWINDOW);
    EXPECT_FALSE(Style(m_main) & WS_SYSMENU);
    EXPECT_EQ(Style(Item(IDCANCEL)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(Style(Item(IDC_PASSWORD)) & ES_PASSWORD);
    EXPECT_NE(SendMessageA(Item(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), 0);
    // The list's horizontal scroll bar is in its template, but a list box without a
    // horizontal extent hides it, and a hidden scroll bar leaves no trace in the style.
    EXPECT_EQ(Style(Item(IDC_MAILLIST)) & (LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_SORT),
              LBS_NOTIFY | LBS_NOINTEGRALHEIGHT);
    EXPECT_EQ(Style(Item(IDC_POPUP)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(Style(Item(IDC_STATUS)) & SS_TYPEMASK, SS_CENTER);
}

TEST_F(KelvorProgram, ManifestGivesTheWindowTheCommonControlsOfVersionSix)
{
    StartProgram();
    // Version 6 of the common controls comes from the system's side-by-side store.
    std::vector<std::string> modules = m_program.Modules();
    EXPECT_TRUE(std::any_of(modules.begin(), modules.end(), [](std::string module) {
        CharLowerA(module.data());
        return module.find("common-controls") != std::string::npos;
    }));
}

TEST_F(KelvorProgram, CheckReportsTheMailboxCountFromTheLocalServer)
{
    StartProgram();
    PointAtServer();
    Press(m_main, IDC_CHECK);
    EXPECT_EQ(TakeMessage(kTitle),
              "メールボックスの中に 2 通のメールがあります\r\n\r\n（うち新規メール 2 通）");
    const std::vector<std::string> commands = m_server.Commands();
    const std::vector<std::string> expected = {"USER alice", "PASS secret", "STAT ", "NOOP", "LIST ",
                                               "UIDL", "QUIT "};
    EXPECT_EQ(commands, expected);
}

TEST_F(KelvorProgram, CheckOverTlsReportsTheCountAndARefusedCertificateWithItsReason)
{
    TlsTestServer tls;
    std::string error;
    ASSERT_TRUE(FindTlsTestServer(tls, error)) << error;
    CPop3Client cleartext;
    ASSERT_EQ(cleartext.Login("127.0.0.1:" + std::to_string(tls.port), tls.user, tls.password), 1);
    const std::string count = std::to_string(cleartext.GetMessageCount());
    cleartext.Quit();

    StartProgram();
    SetField(IDC_USER, tls.user);
    SetField(IDC_PASSWORD, tls.password);
    std::vector<std::string> servers = {"pop3s://localhost:" + std::to_string(tls.tlsPort)};
    // The server listens on ::1 too where the machine has it: over TLS, STLS and in cleartext.
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() != 0)
        servers.insert(servers.end(), {"pop3s://[::1]:" + std::to_string(tls.tlsPort),
                                       "pop3+starttls://[::1]:" + std::to_string(tls.port), "[::1]:" + std::to_string(tls.port)});
    for (const std::string& server : servers) {
        SCOPED_TRACE(server);
        SetField(IDC_SERVER, server);
        Press(m_main, IDC_CHECK);
        // Only the first check finds the mail new.
        const std::string counted = "メールボックスの中に " + count + " 通のメールがあります\r\n\r\n（うち新規メール ";
        EXPECT_EQ(TakeMessage(kTitle).substr(0, counted.size()), counted);
    }
    // The server on 127.0.0.4 shows an expired certificate.
    SetField(IDC_SERVER, "pop3s://127.0.0.4:" + std::to_string(tls.tlsPort));
    Press(m_main, IDC_CHECK);
    EXPECT_EQ(TakeMessage(kTitle), "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\nexpired");
}

// With the password left empty on a host that has a sign-in entry, the check button signs in
// through the browser (winebrowser, then the stand-in script) and shows the count box; after a
// restart the kept refresh token, longer than one credential holds, checks without the browser.
TEST_F(KelvorProgram, CheckSignsInThroughTheBrowserAndARestartChecksWithoutIt)
{
    SignInTestServer server;
    std::string error;
    ASSERT_TRUE(FindSignInTestServer(server, error)) << error;
    WriteSetting("INT", "10");
    const std::string file = SettingsFilePath();
    const std::pair<const char*, std::string> entry[] = {{"AuthorizeUrl", server.authorizationServer + "/authorize"},
                                                         {"TokenUrl", server.authorizationServer + "/token"},
                                                         {"ClientId", "kelvor-test"},
                                                         {"Scope", "mail"}};
    for (const auto& [key, value] : entry)
        WritePrivateProfileStringA("OAuth2:127.0.0.1", key, value.c_str(), file.c_str());
    const std::string pop3Server = "127.0.0.1:" + std::to_string(server.port);
    std::string kept;
    for (int opened : {1, 0}) {
        SCOPED_TRACE(opened ? "first start: signed in in the browser" : "restart: the kept token");
        const int before = LineCount(server.browserLog);
        StartProgram();
        SetField(IDC_SERVER, pop3Server);
        SetField(IDC_USER, server.user);
        SetField(IDC_PASSWORD, "");
        Press(m_main, IDC_CHECK);
        EXPECT_EQ(TakeMessage(kTitle).substr(0, 21), "メールボックスの中に ");
        EXPECT_EQ(LineCount(server.browserLog), before + opened);
        const std::string token = KeptSignInToken("127.0.0.1", server.user);
        EXPECT_GT(token.size(), 2560u);
        EXPECT_NE(token, kept);
        kept = token;
        EXPECT_EQ(ReadSetting("PWD"), "<missing>");
        ExitWithYes();
    }
}

TEST_F(KelvorProgram, ListShowsSenderAndSubjectAndDoubleClickShowsTheWholeMessage)
{
    const std::vector<std::string> entries = {"Taro <taro@example.jp> : こんにちは",
                                              "hanako@example.jp : Lunch"};
    EXPECT_EQ(ListMailbox(entries), entries);
    EXPECT_EQ(TextOf(Item(IDC_STATUS)), "");
    // The list and the status line paint again once the listing has ended.
    EXPECT_TRUE(IsWindowVisible(Item(IDC_MAILLIST)));
    EXPECT_TRUE(IsWindowVisible(Item(IDC_STATUS)));
    RequestScreenshot("kelvor-main-window");

    HWND viewer = OpenViewer(1);
    ASSERT_NE(viewer, nullptr);
    HWND text = GetDlgItem(viewer, IDC_MAILTEXT);
    const std::string shown = TextOf(text);
    EXPECT_EQ(shown.rfind("From: hanako@example.jp\r\nSubject: Lunch\r\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("A line long enough"), std::string::npos);
    EXPECT_EQ(Style(text) & (ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL),
              ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL);
    EXPECT_TRUE(WaitUntil([&] { return m_program.FocusedControl() == GetDlgItem(viewer, IDOK); }, 3000));
    RequestScreenshot("kelvor-viewer");

    // The conversation stays open while the viewer is shown; QUIT follows its "OK".
    // The message is read with TOP for all its lines, never with RETR, which some services
    // count as a download.
    EXPECT_EQ(CountOf(m_server.Commands(), "TOP 2 " + std::to_string(kLunch.size())), 1);
    EXPECT_EQ(CountOf(m_server.Commands(), "RETR 2"), 0);
    EXPECT_EQ(CountOf(m_server.Commands(), "QUIT "), 1);
    Press(viewer, IDOK);
    EXPECT_TRUE(WaitForQuitCount(2));
}

// Mail as today's senders write it, through the real windows: UTF-8 words with an emoji, a
// Shift_JIS word, a Latin-1 word, and a multipart message whose viewer text shows its text part
// and one line for its attachment.
TEST_F(KelvorProgram, TodaysMailIsListedAndShownReadably)
{
    m_server.SetMessages({
        "From: =?utf-8?b?5bCP5p6XIOOBleOBj+OCiQ==?= <kobayashi@example.jp>\r\n"
        "Subject: =?UTF-8?B?5YaZ55yf6YCB44KK44G+44GZIPCfk7c=?=\r\n\r\nbody\r\n",
        "From: =?Shift_JIS?B?j7yWeyCMkojq?= <matsumoto@example.jp>\r\n"
        "Subject: =?Shift_JIS?B?h0CCspKNlbaCzIptlEY=?=\r\n\r\nbody\r\n",
        "From: =?ISO-8859-1?Q?Fran=E7ois?= <francois@example.fr>\r\n"
        "Subject: =?iso-8859-1?q?R=E9union_=A7_3?=\r\n\r\nbody\r\n",
        "From: =?utf-8?b?5LqV5LiK?= <inoue@example.jp>\r\nSubject: =?utf-8?b?6KaL56mN5pu4?=\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
        "--b\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "5LqV5LiK44Gn44GZ44CCCg==\r\n"
        "--b\r\nContent-Type: application/pdf\r\n"
        "Content-Disposition: attachment; filename*=UTF-8''%E8%A6%8B%E7%A9%8D%E6%9B%B8.pdf\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b--\r\n",
    });
    const std::vector<std::string> entries = {
        "小林 さくら <kobayashi@example.jp> : 写真送ります 〓",
        "松本 健一 <matsumoto@example.jp> : ①ご注文の確認",
        "Fran〓ois <francois@example.fr> : R〓union § 3",
        "井上 <inoue@example.jp> : 見積書",
    };
    EXPECT_EQ(ListMailbox(entries), entries);
    RequestScreenshot("kelvor-todays-mail-list");

    HWND viewer = OpenViewer(3);
    ASSERT_NE(viewer, nullptr);
    const std::string shown = TextOf(GetDlgItem(viewer, IDC_MAILTEXT));
    EXPECT_NE(shown.find("\r\n\r\n井上です。\r\n\r\n[添付ファイル] 見積書.pdf (9 バイト)\r\n"), std::string::npos)
        << shown;
    RequestScreenshot("kelvor-todays-mail-viewer");
    Press(viewer, IDOK);
    EXPECT_TRUE(WaitForQuitCount(2));
}

TEST_F(KelvorProgram, VersionBoxOpensFromTheSystemCommandAndTheTrayMenuCommand)
{
    StartProgram();
    struct Trigger {
        UINT message;
        WPARAM command;
    };
    const Trigger triggers[] = {{WM_SYSCOMMAND, IDM_ABOUTBOX}, {WM_SYSCOMMAND, IDM_ABOUTBOX + 15},
                                {WM_COMMAND, IDM_ABOUTBOX}};
    for (const Trigger& trigger : triggers) {
        SCOPED_TRACE("command " + std::to_string(trigger.command));
        PostMessageA(m_main, trigger.message, trigger.command, 0);
        HWND box = m_program.WaitForDialog("ﾊﾞｰｼﾞｮﾝ情報", m_main);
        ASSERT_NE(box, nullptr);
        std::vector<std::string> texts;
        bool hasIcon = false;
        for (HWND child : ChildWindows(box)) {
            texts.push_back(TextOf(child));
            const bool icon = ClassOf(child) == "Static" && (Style(child) & SS_TYPEMASK) == SS_ICON;
            hasIcon = hasIcon || icon;
            // Each text and the button start a group, whichever compiler made the resource.
            if (!icon) {
                EXPECT_TRUE(Style(child) & WS_GROUP) << texts.back();
            }
        }
        EXPECT_EQ(CountOf(texts, "Kelvor Version 0.1"), 1);
        EXPECT_EQ(CountOf(texts, "POP3 着信通知"), 1);
        EXPECT_EQ(CountOf(texts, "OK"), 1);
        EXPECT_TRUE(hasIcon);
        if (trigger.message == WM_COMMAND)
            RequestScreenshot("kelvor-version-box");
        Press(box, IDOK);
        EXPECT_TRUE(WaitUntil([box] { return !IsWindow(box); }));
    }
}

TEST_F(KelvorProgram, TrayIconIsAddedWithIdOneAndItsCallbackAndAddedAgainWhenTheTaskbarReturns)
{
    StartProgram();
    const auto owner = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_main));
    ASSERT_TRUE(WaitUntil([&] { return m_tray.Notices().size() >= 2; }));
    std::vector<TrayNotice> notices = m_tray.Notices();
    EXPECT_EQ(notices[0].request, static_cast<std::uint32_t>(NIM_ADD));
    EXPECT_EQ(notices[1].request, static_cast<std::uint32_t>(NIM_MODIFY));
    for (const TrayNotice& notice : notices) {
        EXPECT_EQ(notice.owner, owner);
        EXPECT_EQ(notice.iconId, 1u);
        EXPECT_EQ(notice.flags, static_cast<std::uint32_t>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
        EXPECT_EQ(notice.callbackMessage, static_cast<std::uint32_t>(WM_TRAYNOTIFY));
    }
    EXPECT_EQ(notices[1].tooltip, "Kelvor");

    // The shell announces a new notification area: the icon comes back as it was.
    m_tray.Clear();
    SendMessageA(m_main, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !m_tray.Notices().empty(); }));
    notices = m_tray.Notices();
    EXPECT_EQ(notices[0].request, static_cast<std::uint32_t>(NIM_ADD));
    EXPECT_EQ(notices[0].iconId, 1u);
    EXPECT_EQ(notices[0].tooltip, "Kelvor");
}

TEST_F(KelvorProgram, OkEnterAndEscapeHideTheWindowAndTheTrayDoubleClickBringsItBack)
{
    StartProgram();
    const std::function<void()> hiders[] = {
        [&] { Press(m_main, IDCANCEL); },
        [&] { PostMessageA(Item(IDC_INTERVAL), WM_KEYDOWN, VK_ESCAPE, 0); },
        [&] { PostMessageA(Item(IDC_SERVER), WM_KEYDOWN, VK_RETURN, 0); },
    };
    for (std::size_t i = 0; i < std::size(hiders); ++i) {
        SCOPED_TRACE("way " + std::to_string(i));
        hiders[i]();
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(m_main); }));
        PostMessageA(m_main, WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(m_main) != FALSE; }));
    }
    EXPECT_TRUE(m_program.Running());
}

TEST_F(KelvorProgram, RightButtonOnTheTrayIconOpensTheMenuAndItsExitAsksWithoutShowingTheWindow)
{
    StartProgram();
    Press(m_main, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(m_main); }));

    PostMessageA(m_main, WM_TRAYNOTIFY, 1, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        menu = FindWindowA("#32768", nullptr);
        return menu != nullptr && IsWindowVisible(menu);
    }));
    if (menu != nullptr)
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return menu == nullptr || !IsWindowVisible(menu); }));

    // "OK" wrote the interval; one typed since is not taken over by an exit answered No.
    EXPECT_EQ(ReadSetting("INT"), "10");
    SetField(IDC_INTERVAL, "33");
    PostMessageA(m_main, WM_COMMAND, ID_TRAY_EXIT, 0);
    EXPECT_EQ(TakeMessage("Kelvor", IDNO), "Kelvorを終了しますか？");
    EXPECT_FALSE(IsWindowVisible(m_main));
    Sleep(200);
    EXPECT_TRUE(m_program.Running());
    EXPECT_EQ(ReadSetting("INT"), "10");
}

TEST_F(KelvorProgram, IntervalThatIsNoWholeNumberOrOutOfRangeIsRefusedWithTheStringTableTexts)
{
    StartProgram();
    struct Row {
        const char* interval;
        const char* message;
    };
    const Row rows[] = {{"abc", "整数を入力してください。"},
                        {"61", "1 から 60 までの整数を入力してください。"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval);
        SetField(IDC_INTERVAL, row.interval);
        Press(m_main, IDCANCEL);
        EXPECT_EQ(TakeMessage(kTitle), row.message);
        PostMessageA(m_main, WM_TRAYNOTIFY, 1, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(m_main) != FALSE; }));
    }
}

TEST_F(KelvorProgram, SecondStartIsRefusedWhileTheFirstRuns)
{
    StartProgram();
    CProgramProcess second;
    ASSERT_TRUE(second.Start(WindowsPath(KELVOR_PROGRAM_PATH)));
    HWND box = second.WaitForDialog(kTitle, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Kelvorはすでに起動しています。");
    Press(box, IDOK);
    EXPECT_TRUE(second.WaitForExit(10000));
    EXPECT_TRUE(m_program.Running());
    EXPECT_TRUE(IsWindow(m_main));
}

TEST_F(KelvorProgram, SilentUserInstallSetsUpProgramShortcutAndStartAndUninstallKeepsSettings)
{
#ifndef KELVOR_INSTALLER_PATH
    GTEST_SKIP() << "built without makensis";
#else
    const char runKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const char uninstallKey[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kelvor";
    const std::string folder = UserFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Kelvor";
    const std::string program = folder + "\\kelvor.exe";
    const std::string uninstaller = folder + "\\uninstall.exe";
    const std::string shortcut = UserFolder(CSIDL_PROGRAMS) + "\\Kelvor.lnk";
    CProgramProcess setup;
    ASSERT_TRUE(setup.Start(WindowsPath(KELVOR_INSTALLER_PATH), "/S /CurrentUser"));
    ASSERT_TRUE(setup.WaitForExit(60000));
    EXPECT_TRUE(FileExists(program));
    EXPECT_TRUE(FileExists(uninstaller));
    EXPECT_TRUE(FileExists(shortcut));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, runKey, "Kelvor"), "\"" + program + "\"");
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, uninstallKey, "DisplayName"), "Kelvor");
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, uninstallKey, "QuietUninstallString"),
              "\"" + uninstaller + "\" /CurrentUser /S");

    // The installed program runs; an uninstaller started meanwhile gives up and removes nothing.
    StartProgram(program);
    CProgramProcess uninstall;
    ASSERT_TRUE(uninstall.Start(uninstaller, "/CurrentUser /S _?=" + folder));
    ASSERT_TRUE(uninstall.WaitForExit(30000));
    EXPECT_TRUE(FileExists(program));
    EXPECT_TRUE(FileExists(shortcut));
    ExitWithYes();

    // The uninstaller runs from a copy of itself, so the removal is awaited on the files.
    ASSERT_TRUE(uninstall.Start(uninstaller, "/CurrentUser /S"));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(folder) && !FileExists(shortcut); }, 30000));
    EXPECT_TRUE(WaitUntil([&] {
        return RegistryText(HKEY_CURRENT_USER, uninstallKey, "DisplayName") == "<missing>";
    }));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, runKey, "Kelvor"), "<missing>");
    EXPECT_EQ(ReadSetting("INT"), "10");
#endif
}

}  // namespace
