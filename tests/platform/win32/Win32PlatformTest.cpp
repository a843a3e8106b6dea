// The Windows pieces that start-up relies on: the settings file through the private-profile
// functions, the password in the Credential Manager, the named mutex guard, the program's title and the Winsock 1.1 start; and the
// strings and the tray menu as kelvor.exe carries them in its resources.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>

#include "ProgramDriver.h"
#include "platform/win32/CredentialKeeper.h"
#include "platform/win32/MutexGuard.h"
#include "platform/win32/Win32AppHost.h"
#include "platform/win32/Win32Profile.h"
#include "res/resource.h"

namespace {

class Win32Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        m_file = std::string(folder) + "kelvor-test-" + std::to_string(GetCurrentProcessId()) + ".INI";
        DeleteFileA(m_file.c_str());
    }
    void TearDown() override
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_file.c_str());
        DeleteFileA(m_file.c_str());
    }

    CWin32Profile m_profile;
    std::string m_file;
};

TEST_F(Win32Settings, MissingFileGivesTheDefaults)
{
    EXPECT_EQ(m_profile.GetInt("Settings", "INT", 10, m_file), 10);
    EXPECT_EQ(m_profile.GetString("Settings", "POP", "", m_file), "");
    EXPECT_EQ(GetFileAttributesA(m_file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32Settings, WrittenValuesReadBackByteForByte)
{
    const char* const values[] = {"pop.example.jp", "山田", "pa ss", "", "ﾊﾟｽﾜｰﾄﾞ表示"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        EXPECT_EQ(m_profile.WriteString("Settings", "USR", value, m_file), 1);
        EXPECT_EQ(m_profile.GetString("Settings", "USR", "<default>", m_file), value);
    }
}

TEST_F(Win32Settings, NumbersReadAsDecimalAndOtherTextAsZero)
{
    struct Row {
        const char* text;
        int value;
    };
    const Row rows[] = {{"15", 15}, {"0", 0}, {"-3", -3}, {"abc", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        m_profile.WriteString("Settings", "INT", row.text, m_file);
        EXPECT_EQ(m_profile.GetInt("Settings", "INT", 10, m_file), row.value);
    }
}

TEST_F(Win32Settings, LongValueIsCutAt4095Bytes)
{
    m_profile.WriteString("Settings", "PWD", std::string(5000, 'x'), m_file);
    EXPECT_EQ(m_profile.GetString("Settings", "PWD", "", m_file), std::string(4095, 'x'));
}

TEST_F(Win32Settings, OtherSectionsAndKeysSurviveAWrite)
{
    m_profile.WriteString("Other", "Key", "kept", m_file);
    m_profile.WriteString("Settings", "POP", "one", m_file);
    m_profile.WriteString("Settings", "POP", "two", m_file);
    EXPECT_EQ(m_profile.GetString("Other", "Key", "", m_file), "kept");
    EXPECT_EQ(m_profile.GetString("settings", "pop", "", m_file), "two");
    EXPECT_EQ(m_profile.DeleteValue("Settings", "POP", m_file), 1);
    EXPECT_EQ(m_profile.DeleteValue("Settings", "POP", m_file), 1);
    EXPECT_EQ(m_profile.GetString("Settings", "POP", "<missing>", m_file), "<missing>");
    EXPECT_EQ(m_profile.GetString("Other", "Key", "", m_file), "kept");
    std::ofstream(m_file, std::ios::binary) << "[Settings]\r\nPWD=a\r\nUSR=me\r\nPWD=b\r\n";
    EXPECT_EQ(m_profile.DeleteValue("Settings", "PWD", m_file), 1);
    EXPECT_EQ(m_profile.GetString("Settings", "PWD", "<missing>", m_file), "<missing>");
    EXPECT_EQ(m_profile.GetString("Settings", "USR", "", m_file), "me");
}

// The password as a generic credential of Kelvor's own name, kept for this user on this
// machine: it reads back byte for byte in a keeper made afresh, each server and user has an item
// of its own, another program name sees none of them, and a forgotten one is gone.
TEST(Win32Keeper, CredentialManagerKeepsReadsAndForgetsThePassword)
{
    RemoveKeptPasswords();
    CCredentialKeeper keeper("kelvor");
    std::string password;
    EXPECT_EQ(keeper.Read("pop.example.jp", "山田", password), KeeperAnswer::NotFound);
    for (const char* typed : {"s3cret", " pa ss ", "ﾊﾟｽﾜｰﾄﾞ表示"}) {
        SCOPED_TRACE(typed);
        ASSERT_EQ(keeper.Store("pop.example.jp", "山田", typed), KeeperAnswer::Done);
        EXPECT_EQ(CCredentialKeeper("kelvor").Read("pop.example.jp", "山田", password), KeeperAnswer::Done);
        EXPECT_EQ(password, typed);
        EXPECT_EQ(KeptPassword("pop.example.jp", "山田"), typed);
    }
    ASSERT_EQ(keeper.Store("a/b", "c", "first"), KeeperAnswer::Done);
    ASSERT_EQ(keeper.Store("a", "b/c", "second"), KeeperAnswer::Done);
    EXPECT_EQ(keeper.Read("a/b", "c", password), KeeperAnswer::Done);
    EXPECT_EQ(password, "first");
    EXPECT_EQ(CCredentialKeeper("kelvor-demo").Read("pop.example.jp", "山田", password), KeeperAnswer::NotFound);
    // More than the 2,560 bytes a credential holds: refused, so that the file keeps it.
    EXPECT_EQ(keeper.Store("pop.example.jp", "long", std::string(1281, 'x')), KeeperAnswer::NoAnswer);

    EXPECT_EQ(keeper.Forget("pop.example.jp", "山田"), KeeperAnswer::Done);
    EXPECT_EQ(keeper.Read("pop.example.jp", "山田", password), KeeperAnswer::NotFound);
    EXPECT_EQ(keeper.Forget("pop.example.jp", "山田"), KeeperAnswer::Done);
    RemoveKeptPasswords();
}

// A bare file name stands for the file in %APPDATA%\Kelvor. Its first use copies the settings
// that earlier versions kept in the Windows directory or, for a user who could not write there,
// in the user's VirtualStore, and removes the password from the file it copied (the Windows
// directory's file of another user, not read, keeps its own); from then on only the new file counts.
TEST(Win32SettingsPlace, FirstUseCopiesTheOldSettingsOnceAndTakesThePasswordOutOfTheCopiedOne)
{
    const std::string name = "kelvor-place-" + std::to_string(GetCurrentProcessId()) + ".INI";
    const std::string file = SettingsFilePath(name);
    const std::string windowsFile = WindowsDirectorySettingsPath(name);
    const std::string storeFile = VirtualStoreSettingsPath(name);
    struct Row {
        const char* inWindows;  // null: no file there
        const char* inStore;    // null: no file there
        const char* read;
        // The password left in each old file once the one that was read has been copied.
        const char* passwordInWindows;
        const char* passwordInStore;
    };
    const Row rows[] = {{nullptr, nullptr, "<missing>", "<missing>", "<missing>"},
                        {"windows.example.jp", nullptr, "windows.example.jp", "<missing>", "<missing>"},
                        {"windows.example.jp", "store.example.jp", "store.example.jp", "old", "<missing>"}};
    CWin32Profile profile;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.read);
        RemoveSettingsFiles(name);
        for (const auto& [value, path] : {std::pair{row.inWindows, windowsFile}, {row.inStore, storeFile}}) {
            if (value != nullptr) {
                WriteSetting("POP", value, path);
                WriteSetting("PWD", "old", path);
            }
        }
        EXPECT_EQ(CWin32Profile::PathOf(name), file);
        EXPECT_EQ(profile.GetString("Settings", "POP", "<missing>", name), row.read);
        EXPECT_EQ(profile.GetString("Settings", "PWD", "<missing>", name), row.inWindows ? "old" : "<missing>");
        EXPECT_EQ(ReadSetting("POP", windowsFile), row.inWindows ? row.inWindows : "<missing>");
        EXPECT_EQ(ReadSetting("PWD", windowsFile), row.passwordInWindows);
        EXPECT_EQ(ReadSetting("PWD", storeFile), row.passwordInStore);
        EXPECT_EQ(profile.WriteString("Settings", "USR", "taro", name), 1);
        WriteSetting("POP", "later.example.jp", windowsFile);
        WriteSetting("POP", "later.example.jp", storeFile);
        EXPECT_EQ(profile.GetString("Settings", "POP", "<missing>", name), row.read);
    }
    RemoveSettingsFiles(name);
}

TEST(Win32Guard, GuardIsFoundOnlyOnceItExists)
{
    const std::string name = "kelvor-test-guard-" + std::to_string(GetCurrentProcessId());
    CMutexGuard guard;
    EXPECT_EQ(guard.OpenExisting(name), 0);
    guard.Create(name);
    CMutexGuard second;
    EXPECT_EQ(second.OpenExisting(name), 1);
}

TEST(Win32Start, TitleIsTheProgramFileNameWithoutFolderAndExtension)
{
    struct Row {
        const char* path;
        const char* title;
    };
    const Row rows[] = {{"C:\\Program Files\\Kelvor\\kelvor.exe", "kelvor"},
                        {"Z:\\build.dir\\KELVOR.EXE", "KELVOR"},
                        {"C:kelvor.exe", "kelvor"},
                        {"kelvor", "kelvor"}};
    for (const Row& row : rows)
        EXPECT_EQ(FileTitleOfPath(row.path), row.title) << row.path;

    CWin32AppHost host(GetModuleHandleA(nullptr));
    EXPECT_EQ(host.ApplicationTitle(), "win32_platform_tests");
}

TEST(Win32Start, ProgramsRunWithTheJapaneseCodePage)
{
    // The A functions turn the program's Shift_JIS texts into the window system's text
    // through this code page; the other tests here rely on it.
    EXPECT_EQ(GetACP(), 932u);
}

TEST(Win32Start, SocketsStartAtVersionOneOne)
{
    CWin32AppHost host(GetModuleHandleA(nullptr));
    ASSERT_EQ(host.StartSockets(), 1);
    host.StopSockets();
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string windowsPath = WindowsPath(KELVOR_PROGRAM_PATH);
        m_program = LoadLibraryExA(windowsPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_program, nullptr) << windowsPath;
    }
    void TearDown() override { FreeLibrary(m_program); }

    std::string String(UINT id)
    {
        char text[4096] = {};
        LoadStringA(m_program, id, text, sizeof text);
        return text;
    }

    HMODULE m_program = nullptr;
};

TEST_F(ProgramResources, StringTableHoldsTheFourStringsInShiftJis)
{
    EXPECT_EQ(String(IDS_ABOUTBOX), "ﾊﾞｰｼﾞｮﾝ情報(Kelvor) (&A)...");
    EXPECT_EQ(String(IDP_SOCKETS_INIT_FAILED), "Windows ｿｹｯﾄの初期化に失敗しました。");
    EXPECT_EQ(String(IDP_PARSE_INT), "整数を入力してください。");
    EXPECT_EQ(String(IDP_PARSE_INT_RANGE), "%1 から %2 までの整数を入力してください。");
    // No title string: the program's title comes from its file name.
    EXPECT_EQ(String(IDS_APP_TITLE), "");
}

TEST_F(ProgramResources, TrayMenuOffersCheckVersionBoxSeparatorAndExitUnderDummy)
{
    HMENU menu = LoadMenuA(m_program, MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(menu, nullptr);
    char text[256] = {};
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Dummy");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    struct Entry {
        UINT id;
        const char* text;
    };
    const Entry entries[] = {{ID_TRAY_CHECK, "チェックする(&C)"},
                             {IDM_ABOUTBOX, "Kelvorについて(&A)..."},
                             {0, ""},
                             {ID_TRAY_EXIT, "終了(&Q)"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, entries[i].text);
        if (entries[i].id != 0) {
            EXPECT_EQ(GetMenuItemID(popup, i), entries[i].id);
        } else {
            EXPECT_TRUE(GetMenuState(popup, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR);
        }
    }
    DestroyMenu(menu);
}

}  // namespace
