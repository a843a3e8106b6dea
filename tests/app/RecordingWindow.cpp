// RecordingWindow: the recording fake Window of the application tests.
#include "RecordingWindow.h"

#include "app/ResourceStrings.h"

namespace {

const char* ActionName(TrayAction action)
{
    switch (action) {
    case TrayAction::Add:
        return "Add";
    case TrayAction::Modify:
        return "Modify";
    case TrayAction::Delete:
        return "Delete";
    }
    return "?";
}

}  // namespace

RecordingWindow::RecordingWindow() : strings(ResourceString)
{
}

std::vector<std::string> RecordingWindow::CallsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& call : calls) {
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    }
    return found;
}

int RecordingWindow::IndexOf(const std::string& line) const
{
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == line)
            return static_cast<int>(i);
    }
    return -1;
}

void RecordingWindow::ClearRecords()
{
    calls.clear();
    messages.clear();
    trayCalls.clear();
    viewerTexts.clear();
}

std::string RecordingWindow::GetControlText(int controlId)
{
    return texts[controlId];
}

void RecordingWindow::SetControlText(int controlId, const std::string& text)
{
    calls.push_back("SetControlText " + std::to_string(controlId) + " " + text);
    texts[controlId] = text;
}

int RecordingWindow::GetCheck(int controlId)
{
    return checks[controlId];
}

void RecordingWindow::SetCheck(int controlId, int state)
{
    calls.push_back("SetCheck " + std::to_string(controlId) + " " + std::to_string(state));
    checks[controlId] = state;
}

void RecordingWindow::SetFocus(int controlId)
{
    calls.push_back("SetFocus " + std::to_string(controlId));
}

void RecordingWindow::FocusAndSelectAll(int controlId)
{
    calls.push_back("FocusAndSelectAll " + std::to_string(controlId));
}

MessageAnswer RecordingWindow::ShowMessage(const std::string& text, const std::string& caption,
                                           MessageStyle style)
{
    calls.push_back("ShowMessage " + text);
    messages.push_back({text, caption, style});
    ScriptedBox box;
    if (style == MessageStyle::YesNoQuestion)
        box.answer = MessageAnswer::Yes;
    if (!boxScript.empty()) {
        box = boxScript.front();
        boxScript.pop_front();
    }
    if (box.whileOpen)
        box.whileOpen();
    calls.push_back("CloseMessage");
    return box.answer;
}

void RecordingWindow::BeginWaitCursor()
{
    calls.push_back("BeginWaitCursor");
}

void RecordingWindow::EndWaitCursor()
{
    calls.push_back("EndWaitCursor");
}

void RecordingWindow::ListReset()
{
    calls.push_back("ListReset");
    listEntries.clear();
}

void RecordingWindow::ListAppend(const std::string& entry)
{
    calls.push_back("ListAppend " + entry);
    listEntries.push_back(entry);
}

int RecordingWindow::ListSelection()
{
    calls.push_back("ListSelection");
    return selection;
}

void RecordingWindow::RepaintNow()
{
    calls.push_back("RepaintNow");
}

void RecordingWindow::ShowNormal()
{
    calls.push_back("ShowNormal");
}

void RecordingWindow::Hide()
{
    calls.push_back("Hide");
}

void RecordingWindow::SetWindowIcons(int iconResource)
{
    calls.push_back("SetWindowIcons " + std::to_string(iconResource));
}

void RecordingWindow::TrayRequest(TrayAction action, const TrayRecord& record)
{
    calls.push_back(std::string("TrayRequest ") + ActionName(action) + " " +
                    std::to_string(record.iconResource));
    trayCalls.push_back({action, record});
}

void RecordingWindow::ShowTrayMenu(int menuResource)
{
    calls.push_back("ShowTrayMenu " + std::to_string(menuResource));
}

void RecordingWindow::ShowViewer(std::string& text)
{
    calls.push_back("ShowViewer");
    viewerTexts.push_back(text);
    if (whileViewerOpen)
        whileViewerOpen(text);
    calls.push_back("CloseViewer");
}

void RecordingWindow::ShowAboutBox()
{
    calls.push_back("ShowAboutBox");
}

std::string RecordingWindow::LoadString(int stringId)
{
    return strings ? strings(stringId) : std::string();
}

bool RecordingWindow::HasSystemMenu()
{
    return hasSystemMenu;
}

void RecordingWindow::AppendSystemMenuSeparator()
{
    calls.push_back("AppendSystemMenuSeparator");
}

void RecordingWindow::AppendSystemMenuItem(int commandId, const std::string& text)
{
    calls.push_back("AppendSystemMenuItem " + std::to_string(commandId) + " " + text);
}

void RecordingWindow::DefaultSystemCommand(unsigned commandId, long position)
{
    calls.push_back("DefaultSystemCommand " + std::to_string(commandId) + " " + std::to_string(position));
}

void RecordingWindow::StartTimer(int timerId, unsigned periodMilliseconds)
{
    calls.push_back("StartTimer " + std::to_string(timerId) + " " + std::to_string(periodMilliseconds));
}

void RecordingWindow::EndDialog(int result)
{
    calls.push_back("EndDialog " + std::to_string(result));
}

bool RecordingWindow::IsMinimized()
{
    return minimized;
}

void RecordingWindow::GetClientSize(int& width, int& height)
{
    width = clientWidth;
    height = clientHeight;
}

void RecordingWindow::GetStandardIconSize(int& width, int& height)
{
    width = iconWidth;
    height = iconHeight;
}

void RecordingWindow::DrawIconAt(int iconResource, int x, int y)
{
    calls.push_back("DrawIconAt " + std::to_string(iconResource) + " " + std::to_string(x) + " " +
                    std::to_string(y));
}

void RecordingWindow::DefaultPaint()
{
    calls.push_back("DefaultPaint");
}

void RecordingWindow::ShowHelp(unsigned topic)
{
    calls.push_back("ShowHelp " + std::to_string(topic));
}

bool RecordingWindow::OpenWebAddress(const std::string& address)
{
    calls.push_back("OpenWebAddress " + address);
    return browserOpens;
}

bool RecordingWindow::WaitForSignIn(const std::function<bool()>& poll)
{
    for (int polls = 1; polls <= pollsBeforeCancel; ++polls) {
        if (poll()) {
            calls.push_back("WaitForSignIn " + std::to_string(polls));
            return true;
        }
    }
    calls.push_back("WaitForSignIn cancelled");
    return false;
}
