// What the main window's behaviour needs from a platform: the operations on the real window,
// its controls, the tray and the modal boxes. Each desktop shell implements it over its own
// toolkit and routes its events to the handlers of CKelvorDlg; no toolkit type crosses it.
#ifndef KELVOR_APP_WINDOW_H
#define KELVOR_APP_WINDOW_H

#include <cstdint>
#include <functional>
#include <string>

// The notification-area icon record, laid out after the platform's 88-byte first form.
// The owner window is the Window that receives the requests.
struct TrayRecord {
    std::uint32_t size = 0;             // 88
    std::uint32_t iconId = 0;           // 1
    std::uint32_t flags = 0;            // 7: callback message, icon and tooltip are valid
    std::uint32_t callbackMessage = 0;  // WM_TRAYNOTIFY
    int iconResource = 0;               // IDI_NOMAIL or IDI_NEWMAIL, shown at 16 x 16
    char tooltip[64] = {};              // Shift_JIS, zero-terminated
};

enum class TrayAction { Add, Modify, Delete };

// Message box kinds used by the program. Plain: "OK" and no icon. Exclamation: "OK" and the
// exclamation icon. YesNoQuestion: "Yes" and "No" with the question icon.
enum class MessageStyle { Plain, Exclamation, YesNoQuestion };
enum class MessageAnswer { Ok, Yes, No };

// Mouse events that the notification area reports, with the platform's message numbers.
constexpr int kTrayLeftButtonDoubleClick = 0x0203;
constexpr int kTrayRightButtonDown = 0x0204;

class Window {
public:
    virtual ~Window() = default;

    // Controls, by the ids of res/resource.h. Texts are Shift_JIS.
    virtual std::string GetControlText(int controlId) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual int GetCheck(int controlId) = 0;
    virtual void SetCheck(int controlId, int state) = 0;
    virtual void SetFocus(int controlId) = 0;
    // Moves the focus to an edit field and selects its whole text.
    virtual void FocusAndSelectAll(int controlId) = 0;

    // A modal message box owned by this window; returns the button pressed.
    virtual MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                                      MessageStyle style) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // The received list (an unsorted list box).
    virtual void ListReset() = 0;
    // The entry may wait for the next RepaintNow to be painted.
    virtual void ListAppend(const std::string& entry) = 0;
    // Zero-based position of the selected entry, -1 when nothing is selected.
    virtual int ListSelection() = 0;
    // Repaints the window at once. A POP3 conversation blocks the thread, so without this
    // the progress of a listing would not show until it ended. A listing calls it at most
    // every few tens of milliseconds and once at its end.
    virtual void RepaintNow() = 0;

    // Shows the window in its normal size and position and activates it.
    virtual void ShowNormal() = 0;
    virtual void Hide() = 0;
    // Sets the large and the small window icon.
    virtual void SetWindowIcons(int iconResource) = 0;

    virtual void TrayRequest(TrayAction action, const TrayRecord& record) = 0;
    // Shows the first submenu of a menu resource at the cursor. The chosen entry reaches the
    // window later, as its command, after the menu has closed.
    virtual void ShowTrayMenu(int menuResource) = 0;

    // Modal boxes owned by this window: the message viewer and the version box.
    virtual void ShowViewer(std::string& text) = 0;
    virtual void ShowAboutBox() = 0;

    virtual std::string LoadString(int stringId) = 0;  // empty when the string is absent
    virtual bool HasSystemMenu() = 0;
    virtual void AppendSystemMenuSeparator() = 0;
    virtual void AppendSystemMenuItem(int commandId, const std::string& text) = 0;
    virtual void DefaultSystemCommand(unsigned commandId, long position) = 0;

    virtual void StartTimer(int timerId, unsigned periodMilliseconds) = 0;
    // Ends the modal run of the main window with the given result.
    virtual void EndDialog(int result) = 0;

    // Painting while minimised.
    virtual bool IsMinimized() = 0;
    virtual void GetClientSize(int& width, int& height) = 0;
    virtual void GetStandardIconSize(int& width, int& height) = 0;
    virtual void DrawIconAt(int iconResource, int x, int y) = 0;  // erases the icon background first
    virtual void DefaultPaint() = 0;

    // The help viewer, asked for a topic of the help file beside the program; may do nothing.
    virtual void ShowHelp(unsigned topic) = 0;

    // Signing in with the mail provider. Opens the address (ASCII) in the system's web
    // browser, the way the desktop opens a web address; false when no browser could be started.
    virtual bool OpenWebAddress(const std::string& address) { return (void)address, false; }
    // The modal box, owned by this window, that waits for the sign-in in the browser, with a
    // cancel button. While it is open, poll runs about every 100 ms; the box closes as soon as
    // poll returns true, and then this returns true. false when the user cancelled or closed it.
    // Timer ticks and tray commands reach the window meanwhile, as during any modal box.
    virtual bool WaitForSignIn(const std::function<bool()>& poll) { return (void)poll, false; }
};

#endif
