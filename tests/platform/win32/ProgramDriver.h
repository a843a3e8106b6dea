// Helpers that drive a running kelvor.exe from another process, the way a user or the
// system would: start it, find its windows, read their texts, press their buttons.
#ifndef KELVOR_TESTS_PLATFORM_WIN32_PROGRAMDRIVER_H
#define KELVOR_TESTS_PLATFORM_WIN32_PROGRAMDRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A path as Windows spells it; a POSIX path (as CMake gives it) lands on Wine's drive Z:.
std::string WindowsPath(const std::string& path);

// Polls the condition every 20 ms until it holds or the time is up; returns its last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeLimitMilliseconds = 10000);

class CProgramProcess {
public:
    CProgramProcess() = default;
    // Ends the process if it still runs.
    ~CProgramProcess();

    CProgramProcess(const CProgramProcess&) = delete;
    CProgramProcess& operator=(const CProgramProcess&) = delete;

    // Starts the program with these arguments on its command line.
    bool Start(const std::string& programPath, const std::string& arguments = std::string());
    DWORD Id() const { return m_process.dwProcessId; }
    // The full paths of the modules (program and DLLs) that the process has loaded.
    std::vector<std::string> Modules() const;
    bool Running() const;
    bool WaitForExit(DWORD timeLimitMilliseconds);

    // The visible top-level dialog of this process with this caption, owned by owner (any
    // owner when owner is null); null when none appears in time.
    HWND WaitForDialog(const std::string& caption, HWND owner, DWORD timeLimitMilliseconds = 10000);
    // The control that has the keyboard focus in the process's interface thread.
    HWND FocusedControl() const;

private:
    PROCESS_INFORMATION m_process = {};
};

// A window's text read through WM_GETTEXT, so that it also works across processes.
std::string TextOf(HWND window);
std::string ClassOf(HWND window);
// The text of a message box: its longest static text.
std::string MessageBoxText(HWND box);
// What the control would send when clicked: WM_COMMAND with BN_CLICKED to its dialog.
void Press(HWND dialog, int controlId);
std::vector<std::string> ListEntries(HWND list);
std::vector<HWND> ChildWindows(HWND parent);

// When the test run asks for screenshots (KELVOR_SCREENSHOT_DIR names a folder), leaves a
// request "<name>.request" there and waits until the run has taken the picture of the
// display and removed the request. Returns false when nobody took it.
bool RequestScreenshot(const std::string& name);

// A folder of the user's profile (CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PROGRAMS).
std::string UserFolder(int folderId);
bool FileExists(const std::string& path);

// The settings file of kelvor.exe: kelvor.INI in the folder Kelvor of the user's application
// data. Earlier versions kept it in the Windows directory, and Windows redirected the writes of
// a user without the right to write there into the user's VirtualStore.
std::string SettingsFilePath(const std::string& name = "kelvor.INI");
std::string WindowsDirectorySettingsPath(const std::string& name = "kelvor.INI");
std::string VirtualStoreSettingsPath(const std::string& name = "kelvor.INI");
// Removes the file from all three places.
void RemoveSettingsFiles(const std::string& name = "kelvor.INI");
void ForgetSettingsFile(const std::string& path = SettingsFilePath());
void WriteSetting(const std::string& key, const std::string& value,
                  const std::string& path = SettingsFilePath());
// "<missing>" when the value is not there.
std::string ReadSetting(const std::string& key, const std::string& path = SettingsFilePath());

// The password that kelvor.exe keeps in the Credential Manager for this server and user: the
// generic credential "Kelvor/kelvor/<server>/<user>", kept for this user on this machine;
// "<missing>" when there is none, "<not kept as kelvor.exe keeps it>" when its kind is another.
std::string KeptPassword(const std::string& server, const std::string& user);
// Removes every credential whose name begins with "Kelvor/".
void RemoveKeptPasswords();
// The refresh token that kelvor.exe keeps for this server and user: the parts that the head
// credential "Kelvor/kelvor/<server>/<user>/sign-in" names, joined; "<missing>" when any is.
std::string KeptSignInToken(const std::string& server, const std::string& user);
// The lines of a file named by its Unix path (a log that a native helper writes).
int LineCount(const std::string& unixPath);

#endif
