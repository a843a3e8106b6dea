// RecordingWindow: a Window for tests. It records every call in order as one line of text,
// keeps the controls' texts and check states, and answers message boxes from a script whose
// entries may run an action while the box is "open" (a timer tick, a tray command), the way
// a real modal box lets such events reach the main window.
#ifndef KELVOR_TESTS_APP_RECORDINGWINDOW_H
#define KELVOR_TESTS_APP_RECORDINGWINDOW_H

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/Window.h"

struct ScriptedBox {
    MessageAnswer answer = MessageAnswer::Ok;
    std::function<void()> whileOpen;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageStyle style = MessageStyle::Plain;
};

struct TrayCall {
    TrayAction action = TrayAction::Add;
    TrayRecord record;
};

class RecordingWindow : public Window {
public:
    // Every call, in order: "ShowMessage <text>", "TrayRequest Modify 131", "ListAppend <entry>",
    // "SetControlText 1007 <text>", "BeginWaitCursor", "ShowViewer", ...
    std::vector<std::string> calls;
    std::vector<ShownMessage> messages;
    std::vector<TrayCall> trayCalls;

    std::map<int, std::string> texts;
    std::map<int, int> checks;
    std::vector<std::string> listEntries;
    int selection = -1;

    // Answers of the next message boxes; without a script a box answers Ok, or Yes when it
    // asks Yes or No.
    std::deque<ScriptedBox> boxScript;
    // Runs while the viewer is open, with the text it shows.
    std::function<void(const std::string&)> whileViewerOpen;
    std::vector<std::string> viewerTexts;

    bool hasSystemMenu = true;
    bool minimized = false;
    int clientWidth = 0;
    int clientHeight = 0;
    int iconWidth = 32;
    int iconHeight = 32;
    // Strings that LoadString finds; by default the program's own string table.
    std::function<std::string(int)> strings;
    // Signing in: whether the browser opens, and whether the waiting box is cancelled once
    // its poll has run this many times without returning true.
    bool browserOpens = true;
    int pollsBeforeCancel = 1000;

    RecordingWindow();

    // Calls whose line starts with the given text, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    // Position of the first call equal to the given line, or -1.
    int IndexOf(const std::string& line) const;
    void ClearRecords();

    std::string GetControlText(int controlId) override;
    void SetControlText(int controlId, const std::string& text) override;
    int GetCheck(int controlId) override;
    void SetCheck(int controlId, int state) override;
    void SetFocus(int controlId) override;
    void FocusAndSelectAll(int controlId) override;
    MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                              MessageStyle style) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ListReset() override;
    void ListAppend(const std::string& entry) override;
    int ListSelection() override;
    void RepaintNow() override;
    void ShowNormal() override;
    void Hide() override;
    void SetWindowIcons(int iconResource) override;
    void TrayRequest(TrayAction action, const TrayRecord& record) override;
    void ShowTrayMenu(int menuResource) override;
    void ShowViewer(std::string& text) override;
    void ShowAboutBox() override;
    std::string LoadString(int stringId) override;
    bool HasSystemMenu() override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(int commandId, const std::string& text) override;
    void DefaultSystemCommand(unsigned commandId, long position) override;
    void StartTimer(int timerId, unsigned periodMilliseconds) override;
    void EndDialog(int result) override;
    bool IsMinimized() override;
    void GetClientSize(int& width, int& height) override;
    void GetStandardIconSize(int& width, int& height) override;
    void DrawIconAt(int iconResource, int x, int y) override;
    void DefaultPaint() override;
    void ShowHelp(unsigned topic) override;
    // Recorded as "OpenWebAddress <address>" and "WaitForSignIn <polls run>".
    bool OpenWebAddress(const std::string& address) override;
    bool WaitForSignIn(const std::function<bool()>& poll) override;
};

#endif
