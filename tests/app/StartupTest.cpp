// Start-up and shut-down of the application object over a fake platform: the refusal of a
// second instance, the socket library, the settings loaded before and written after the
// main window, in their order and with their defaults.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ExpectedTexts.h"
#include "RecordingWindow.h"
#include "app/AppHost.h"
#include "app/KelvorApp.h"
#include "app/KelvorDlg.h"
#include "app/RefreshTokenSetting.h"
#include "app/ResourceStrings.h"
#include "res/resource.h"

namespace {

// Every operation of the fake host, of its guard and of its profile goes into one journal,
// so the tests can assert the order across all of them.
using Journal = std::vector<std::string>;

class JournalGuard : public InstanceGuard {
public:
    explicit JournalGuard(Journal& journal) : m_journal(journal) {}
    int existing = 0;
    int OpenExisting(const std::string& name) override
    {
        m_journal.push_back("OpenExisting " + name);
        return existing;
    }
    void Create(const std::string& name) override { m_journal.push_back("Create " + name); }

private:
    Journal& m_journal;
};

class JournalProfile : public Profile {
public:
    explicit JournalProfile(Journal& journal) : m_journal(journal) {}
    std::map<std::string, std::string> stored;  // key -> value, section "Settings" only

    int GetInt(const std::string& section, const std::string& key, int defaultValue,
               const std::string& fileName) override
    {
        m_journal.push_back("GetInt " + section + " " + key + " " + std::to_string(defaultValue) + " " + fileName);
        const auto found = stored.find(key);
        return found == stored.end() ? defaultValue : std::stoi(found->second);
    }
    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue,
                          const std::string& fileName) override
    {
        m_journal.push_back("GetString " + section + " " + key + " [" + defaultValue + "] " + fileName);
        const auto found = stored.find(key);
        return found == stored.end() ? defaultValue : found->second;
    }
    int WriteString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& fileName) override
    {
        m_journal.push_back("WriteString " + section + " " + key + " [" + value + "] " + fileName);
        stored[key] = value;
        return 1;
    }
    int DeleteValue(const std::string& section, const std::string& key, const std::string& fileName) override
    {
        m_journal.push_back("DeleteValue " + section + " " + key + " " + fileName);
        stored.erase(key);
        return 1;
    }

private:
    Journal& m_journal;
};

// A keeper of secrets that answers as told and holds its items as "server user" -> password.
// Its calls go into a journal of their own, so that the settings journal stays as it was.
class FakeKeeper : public PasswordKeeper {
public:
    KeeperAnswer answer = KeeperAnswer::Absent;  // Done: it answers
    std::map<std::string, std::string> items;
    Journal calls;

    KeeperAnswer Read(const std::string& server, const std::string& user, std::string& password) override
    {
        calls.push_back("Read " + server + " " + user);
        if (answer != KeeperAnswer::Done)
            return answer;
        const auto found = items.find(server + " " + user);
        if (found == items.end())
            return KeeperAnswer::NotFound;
        password = found->second;
        return KeeperAnswer::Done;
    }
    KeeperAnswer Store(const std::string& server, const std::string& user, const std::string& password) override
    {
        calls.push_back("Store " + server + " " + user + " [" + password + "]");
        if (answer == KeeperAnswer::Done)
            items[server + " " + user] = password;
        return answer;
    }
    KeeperAnswer Forget(const std::string& server, const std::string& user) override
    {
        calls.push_back("Forget " + server + " " + user);
        if (answer == KeeperAnswer::Done)
            items.erase(server + " " + user);
        return answer;
    }
};

class FakeAppHost : public AppHost {
public:
    Journal journal;
    JournalGuard guard{journal};
    JournalProfile profile{journal};
    FakeKeeper keeper;
    RecordingWindow window;
    std::map<int, std::string> strings;
    int windowFound = 1;
    int socketsStart = 1;
    // What the user does while the main window runs; by default nothing, and it ends.
    std::function<void(CKelvorDlg&)> whileRunning;

    std::string ApplicationTitle() override { return "kelvor"; }
    std::string LoadString(int stringId) override
    {
        const auto found = strings.find(stringId);
        return found == strings.end() ? std::string() : found->second;
    }
    InstanceGuard& Guard() override { return guard; }
    Profile& Settings() override { return profile; }
    PasswordKeeper& Keeper() override { return keeper; }
    int FindTopLevelWindow(const std::string& title) override
    {
        journal.push_back("FindTopLevelWindow [" + title + "]");
        return windowFound;
    }
    int StartSockets() override
    {
        journal.push_back("StartSockets");
        return socketsStart;
    }
    void StopSockets() override { journal.push_back("StopSockets"); }
    void ShowStartupMessage(const std::string& text, const std::string& caption) override
    {
        journal.push_back("ShowStartupMessage " + text + " | " + caption);
    }
    void PrepareDialogs() override { journal.push_back("PrepareDialogs"); }
    Window& MainWindow() override { return window; }
    int RunMainWindow(CKelvorDlg& dialog) override
    {
        journal.push_back("RunMainWindow");
        dialog.OnInitDialog();
        if (whileRunning)
            whileRunning(dialog);
        dialog.OnDestroy();
        journal.push_back("MainWindowDestroyed");
        return 1;
    }
};

class StartupTest : public ::testing::Test {
protected:
    FakeAppHost host;
    CKelvorApp app{host};

    // The journal lines of the five settings written, in their order.
    static Journal SettingsWrites(const std::string& interval, const std::string& server, const std::string& user,
                                  const std::string& password, const std::string& popup)
    {
        Journal writes;
        for (const auto& [key, value] : {std::pair{"INT", interval}, {"POP", server}, {"USR", user},
                                         {"PWD", password}, {"PUP", popup}})
            writes.push_back(std::string("WriteString Settings ") + key + " [" + value + "] kelvor.INI");
        return writes;
    }
};

TEST_F(StartupTest, FirstStartUsesDefaultsAndWritesAllFiveSettingsAfterTheWindowEnds)
{
    host.strings[IDP_SOCKETS_INIT_FAILED] = ResourceString(IDP_SOCKETS_INIT_FAILED);
    std::vector<std::string> shownFields;
    host.whileRunning = [&](CKelvorDlg&) {
        shownFields = {host.window.texts[1000], host.window.texts[1001], host.window.texts[1002],
                       host.window.texts[1003], std::to_string(host.window.checks[1006])};
    };
    EXPECT_FALSE(app.InitInstance());

    const Journal expectedJournal = {
        "OpenExisting h_XXXX_PrevInstance",
        "Create h_XXXX_PrevInstance",
        "StartSockets",
        "PrepareDialogs",
        "GetInt Settings INT 10 kelvor.INI",
        "GetString Settings POP [] kelvor.INI",
        "GetString Settings USR [] kelvor.INI",
        "GetString Settings PWD [] kelvor.INI",
        "GetInt Settings PUP 0 kelvor.INI",
        "RunMainWindow",
        "MainWindowDestroyed",
        "WriteString Settings INT [10] kelvor.INI",
        "WriteString Settings POP [] kelvor.INI",
        "WriteString Settings USR [] kelvor.INI",
        "WriteString Settings PWD [] kelvor.INI",
        "WriteString Settings PUP [0] kelvor.INI",
    };
    EXPECT_EQ(host.journal, expectedJournal);
    EXPECT_EQ(shownFields, (std::vector<std::string>{"10", "", "", "", "0"}));
    // The tray icon has left before the settings are written.
    EXPECT_EQ(host.window.trayCalls.back().action, TrayAction::Delete);

    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(host.journal.back(), "StopSockets");
}

TEST_F(StartupTest, SettingsTakenFromTheWindowAtExitAreWrittenBackUnaltered)
{
    host.profile.stored = {{"INT", "0"}, {"POP", "pop.example"}, {"USR", "me"}, {"PWD", " p\x82\xA0ss "}, {"PUP", "7"}};
    host.whileRunning = [&](CKelvorDlg& dialog) {
        // Stored values are used unvalidated; an unknown popup state shows unchecked.
        EXPECT_EQ(dialog.m_interval, 0);
        EXPECT_EQ(host.window.texts[1000], "0");
        EXPECT_EQ(host.window.texts[1003], " p\x82\xA0ss ");
        EXPECT_EQ(dialog.m_popup, 0);
        host.window.texts[1000] = "25";
        host.window.checks[1006] = 1;
        dialog.OnCommand(32771);
    };
    app.InitInstance();
    EXPECT_EQ(host.window.CallsStartingWith("EndDialog"), std::vector<std::string>{"EndDialog 1"});
    EXPECT_EQ(Journal(host.journal.end() - 5, host.journal.end()),
              SettingsWrites("25", "pop.example", "me", " p\x82\xA0ss ", "1"));
}

TEST_F(StartupTest, OkWritesTheSettingsAtOnceAndTheSessionEndWritesTheFieldsBeforeTheWindowEnds)
{
    host.profile.stored = {{"INT", "10"}, {"POP", "pop.example"}, {"USR", "me"}, {"PWD", "pw"}, {"PUP", "0"}};
    host.whileRunning = [&](CKelvorDlg& dialog) {
        host.journal.clear();
        host.window.texts[1002] = "hanako";
        dialog.OnCommand(ID_HIDE);
        EXPECT_EQ(host.journal, SettingsWrites("10", "pop.example", "hanako", "pw", "0"));
        host.journal.clear();
        host.window.texts[1000] = "25";
        EXPECT_EQ(dialog.OnQueryEndSession(), 1);
        dialog.OnEndSession(1);
        EXPECT_EQ(host.journal, SettingsWrites("25", "pop.example", "hanako", "pw", "0"));
        host.journal.clear();
    };
    app.InitInstance();
    EXPECT_TRUE(host.window.messages.empty());
    // The normal end still writes all five, after the window has gone.
    EXPECT_EQ(host.journal.front(), "MainWindowDestroyed");
    EXPECT_EQ(host.journal.size(), 6u);
}

// Where the password is read from at start-up and where it goes at "OK" and at exit, for each
// state of the settings file and the keeper.
TEST_F(StartupTest, PasswordLivesInTheKeeperWhereOneAnswersAndInTheFileWhereNoneDoes)
{
    const KeeperAnswer answers = KeeperAnswer::Done;
    const KeeperAnswer absent = KeeperAnswer::Absent;
    const KeeperAnswer silent = KeeperAnswer::NoAnswer;
    struct Row {
        const char* why;
        const char* filePassword;  // PWD in the file at start-up; null: none
        const char* kept;          // the keeper's item for pop.example me; null: none
        KeeperAnswer answer;
        const char* typedPassword;  // typed before "OK"; null: the field is left alone
        const char* typedUser;
        std::string shown;          // what the password field shows at start-up
        const char* fileAfter;      // PWD in the file after exit; null: none
        std::map<std::string, std::string> itemsAfter;
        Journal keeperWrites;       // the keeper's Store and Forget calls
    };
    const std::string item = "pop.example me";
    const std::vector<Row> rows = {
        {"old file: the password moves into the keeper at OK", "old", nullptr, answers, nullptr, nullptr, "old",
         nullptr, {{item, "old"}}, {"Store pop.example me [old]"}},
        {"kept: read from the keeper, nothing stored again", nullptr, "kept", answers, nullptr, nullptr, "kept",
         nullptr, {{item, "kept"}}, {}},
        {"the keeper wins over a stale PWD, which leaves", "stale", "kept", answers, nullptr, nullptr, "kept",
         nullptr, {{item, "kept"}}, {}},
        {"a new password replaces the kept one", nullptr, "kept", answers, "new", nullptr, "kept", nullptr,
         {{item, "new"}}, {"Store pop.example me [new]"}},
        {"an empty password forgets the item", "stale", "kept", answers, "", nullptr, "kept", nullptr, {},
         {"Forget pop.example me"}},
        {"another user: stored under the new name, the old item forgotten", nullptr, "kept", answers, nullptr,
         "you", "kept", nullptr, {{"pop.example you", "kept"}},
         {"Store pop.example you [kept]", "Forget pop.example me"}},
        {"no keeper: the file as always", "old", nullptr, absent, nullptr, nullptr, "old", "old", {}, {}},
        {"no keeper, first start: PWD written empty as always", nullptr, nullptr, absent, nullptr, nullptr, "",
         "", {}, {}},
        {"no keeper, a new password: into the file", "old", nullptr, absent, "new", nullptr, "old", "new", {},
         {"Store pop.example me [new]", "Store pop.example me [new]"}},
        {"silent keeper: the file's password, neither place touched", "old", "kept", silent, nullptr, nullptr,
         "old", "old", {{item, "kept"}}, {}},
        {"silent keeper, no PWD: nothing written empty", nullptr, "kept", silent, nullptr, nullptr, "", nullptr,
         {{item, "kept"}}, {}},
        {"silent keeper, a typed password: into the file, the keeper asked once", nullptr, "kept", silent, "new",
         nullptr, "", "new", {{item, "kept"}}, {"Store pop.example me [new]"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        host.profile.stored = {{"INT", "10"}, {"POP", "pop.example"}, {"USR", "me"}, {"PUP", "0"}};
        if (row.filePassword != nullptr)
            host.profile.stored["PWD"] = row.filePassword;
        host.keeper.items.clear();
        if (row.kept != nullptr)
            host.keeper.items[item] = row.kept;
        host.keeper.answer = row.answer;
        host.keeper.calls.clear();
        std::string shown;
        host.whileRunning = [&](CKelvorDlg& dialog) {
            shown = host.window.texts[IDC_PASSWORD];
            if (row.typedPassword != nullptr)
                host.window.texts[IDC_PASSWORD] = row.typedPassword;
            if (row.typedUser != nullptr)
                host.window.texts[IDC_USER] = row.typedUser;
            dialog.OnCommand(ID_HIDE);
        };
        app.InitInstance();
        EXPECT_EQ(shown, row.shown);
        const auto password = host.profile.stored.find("PWD");
        EXPECT_EQ(password == host.profile.stored.end() ? "<none>" : password->second,
                  row.fileAfter == nullptr ? "<none>" : row.fileAfter);
        EXPECT_EQ(host.keeper.items, row.itemsAfter);
        Journal writes;
        for (const std::string& call : host.keeper.calls)
            if (call.rfind("Read ", 0) != 0)
                writes.push_back(call);
        EXPECT_EQ(writes, row.keeperWrites);
    }
}

TEST_F(StartupTest, SecondInstanceIsRefusedWithoutTouchingTheProfile)
{
    host.guard.existing = 1;
    EXPECT_FALSE(app.InitInstance());
    const Journal expectedJournal = {
        "OpenExisting h_XXXX_PrevInstance",
        "FindTopLevelWindow []",
        "ShowStartupMessage " + expected::kAlreadyRunning + " | kelvor",
    };
    EXPECT_EQ(host.journal, expectedJournal);
    EXPECT_TRUE(host.window.calls.empty());
    app.ExitInstance();
    EXPECT_EQ(host.journal.size(), expectedJournal.size());  // no sockets to release
}

TEST_F(StartupTest, SecondInstanceWithoutAWindowToFindEndsSilently)
{
    host.guard.existing = 1;
    host.windowFound = 0;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(host.journal, (Journal{"OpenExisting h_XXXX_PrevInstance", "FindTopLevelWindow []"}));
}

TEST_F(StartupTest, TitleStringWhenPresentIsSearchedForAndCaptionsTheMessages)
{
    host.guard.existing = 1;
    host.strings[57344] = "Titled";
    app.InitInstance();
    EXPECT_EQ(host.journal, (Journal{"OpenExisting h_XXXX_PrevInstance", "FindTopLevelWindow [Titled]",
                                     "ShowStartupMessage " + expected::kAlreadyRunning + " | Titled"}));
}

TEST_F(StartupTest, SocketFailureShowsItsMessageAndTouchesNoWindowOrSetting)
{
    host.socketsStart = 0;
    EXPECT_FALSE(app.InitInstance());
    const Journal expectedJournal = {
        "OpenExisting h_XXXX_PrevInstance",
        "Create h_XXXX_PrevInstance",
        "StartSockets",
        "ShowStartupMessage " + expected::kSocketsInitFailed + " | kelvor",
    };
    EXPECT_EQ(host.journal, expectedJournal);
    EXPECT_TRUE(host.window.calls.empty());
    app.ExitInstance();
    EXPECT_EQ(host.journal.size(), expectedJournal.size());  // never started, so not released
}

// Where no keeper answers, the refresh token goes to the file only when the file gives it back
// whole: a cut token would be refused at the next refresh.
TEST(RefreshTokenInTheFile, TakesWhatTheFileGivesBackWholeAndNothingLonger)
{
    Journal journal;
    JournalProfile profile(journal);
    NoPasswordKeeper keeper;
    CRefreshTokenSetting tokens(profile, keeper, "Settings", "kelvor.INI");
    std::string token;
    tokens.Store("pop.example.com", "bob", std::string(kLongestProfileValue, 'a'));
    ASSERT_EQ(tokens.Read("pop.example.com", "bob", token), 1);
    EXPECT_EQ(token.size(), kLongestProfileValue);
    tokens.Store("pop.example.com", "bob", std::string(kLongestProfileValue + 1, 'b'));
    EXPECT_EQ(tokens.Read("pop.example.com", "bob", token), 0);
    EXPECT_EQ(profile.stored.count("TKN"), 0u);
}

}  // namespace
