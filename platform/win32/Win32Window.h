// CWin32Window: the main window over a dialog of template IDD_MAIN. It implements the
// operations that CKelvorDlg needs and routes the dialog's messages to its handlers.
#ifndef KELVOR_PLATFORM_WIN32_WIN32WINDOW_H
#define KELVOR_PLATFORM_WIN32_WIN32WINDOW_H

#include <map>
#include <string>

#include "platform/win32/SystemHeaders.h"
#include "app/Window.h"

class CKelvorDlg;

class CWin32Window : public Window {
public:
    explicit CWin32Window(HINSTANCE instance);
    ~CWin32Window() override;

    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    // Creates the window from its template, runs it modally with its messages routed to the
    // dialog's handlers, and returns the result given to EndDialog.
    int Run(CKelvorDlg& dialog);

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

    // In Win32WindowSignIn.cpp: the browser through the shell, and the waiting box.
    bool OpenWebAddress(const std::string& address) override;
    bool WaitForSignIn(const std::function<bool()>& poll) override;

private:
    static INT_PTR CALLBACK MainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnCommandMessage(WPARAM wParam);
    INT_PTR OnPaintMessage();
    INT_PTR ReturnResult(LRESULT result);

    HICON LargeIcon(int iconResource);
    // The icon's image at the system's small-icon size, for the tray and the caption.
    HICON SmallIcon(int iconResource);

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    CKelvorDlg* m_dialog = nullptr;
    // Registered message that the shell broadcasts when the notification area is recreated.
    UINT m_taskbarCreatedMessage = 0;
    // The tray record as last added or modified, so that it can be added again.
    TrayRecord m_trayShown;
    bool m_trayWanted = false;  // added and not deleted since
    int m_waitCursorDepth = 0;
    HCURSOR m_cursorBeforeWait = nullptr;
    // Set by DefaultPaint: the dialog's own painting is to run for this WM_PAINT.
    bool m_paintByDefault = false;
    // The list box, while it paints nothing between an append and the next RepaintNow; the
    // entries from m_listCountWhenHeld on are still to be painted. Meanwhile the status line
    // keeps the text it was last given, and its newest text waits here.
    HWND m_heldList = nullptr;
    int m_listCountWhenHeld = 0;
    bool m_statusTextHeld = false;
    std::string m_heldStatusText;
    // Small images made by LoadImageA are the program's to destroy; kept per resource.
    std::map<int, HICON> m_smallIcons;
};

#endif
