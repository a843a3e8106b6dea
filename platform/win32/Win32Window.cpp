// The main window over a dialog of template IDD_MAIN: its messages go to the handlers of
// CKelvorDlg, and the operations those handlers ask for become calls on the real window,
// the notification area and the two modal boxes (viewer and version box).
#include "platform/win32/Win32Window.h"

#include <cstring>

#include "app/KelvorDlg.h"
#include "res/resource.h"

#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the tray record is the 88-byte first form");
#endif

namespace {

// Strings of the string table are read through a buffer of this size.
constexpr int kStringBufferSize = 4096;
// The accelerator code of WM_COMMAND: a command that came from the keyboard.
constexpr WORD kAcceleratorNotification = 1;

// The message viewer: shows the text it is given; "OK" reads it back, Esc leaves it.
INT_PTR CALLBACK ViewerProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* text = reinterpret_cast<std::string*>(lParam);
        SetDlgItemTextA(dialog, IDC_MAILTEXT, text->c_str());
        return TRUE;  // the focus goes to the first tab stop, the "OK" button
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* text = reinterpret_cast<std::string*>(GetWindowLongPtrA(dialog, DWLP_USER));
            HWND edit = GetDlgItem(dialog, IDC_MAILTEXT);
            std::string shown(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
            shown.resize(static_cast<std::size_t>(
                GetWindowTextA(edit, shown.data(), static_cast<int>(shown.size()))));
            *text = shown;
            ::EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// The version box: everything it shows is in its template.
INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

bool ModifierKeyDown()
{
    return GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0;
}

}  // namespace

CWin32Window::CWin32Window(HINSTANCE instance) : m_instance(instance) {}

CWin32Window::~CWin32Window()
{
    for (auto& [resource, image] : m_smallIcons)
        DestroyIcon(image);
}

int CWin32Window::Run(CKelvorDlg& dialog)
{
    m_dialog = &dialog;
    m_taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    const INT_PTR result = DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                           MainProcedure, reinterpret_cast<LPARAM>(this));
    m_window = nullptr;
    m_dialog = nullptr;
    return static_cast<int>(result);
}

INT_PTR CALLBACK CWin32Window::MainProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CWin32Window*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self->m_window = window;
    }
    auto* self = reinterpret_cast<CWin32Window*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr || self->m_dialog == nullptr)
        return FALSE;  // messages that arrive before WM_INITDIALOG
    return self->OnMessage(message, wParam, lParam);
}

INT_PTR CWin32Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    CKelvorDlg& dialog = *m_dialog;
    switch (message) {
    case WM_INITDIALOG:
        // The template's system-modal style means "always on top"; not every system turns
        // it into the top-most window style, so make sure of it.
        if ((GetWindowLongA(m_window, GWL_STYLE) & DS_SYSMODAL) != 0)
            SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        dialog.OnInitDialog();
        return FALSE;  // the handler has placed the focus itself
    case WM_COMMAND:
        return OnCommandMessage(wParam);
    case WM_TIMER:
        dialog.OnTimer(static_cast<unsigned>(wParam));
        return TRUE;
    case WM_TRAYNOTIFY:
        return ReturnResult(
            dialog.OnTrayNotify(static_cast<unsigned>(wParam), static_cast<int>(lParam)));
    case WM_SYSCOMMAND:
        dialog.OnSysCommand(static_cast<unsigned>(wParam), static_cast<long>(lParam));
        return ReturnResult(0);
    case WM_PAINT:
        return OnPaintMessage();
    case WM_QUERYDRAGICON:
        // One of the messages whose result a dialog procedure returns directly.
        return reinterpret_cast<INT_PTR>(LargeIcon(dialog.OnQueryDragIcon()));
    case WM_HELP:
        if (!ModifierKeyDown())
            dialog.OnHelp();
        return ReturnResult(TRUE);
    case WM_SETCURSOR:
        if (m_waitCursorDepth == 0)
            return FALSE;
        ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return ReturnResult(TRUE);
    case WM_QUERYENDSESSION:
        return ReturnResult(dialog.OnQueryEndSession() ? TRUE : FALSE);
    case WM_ENDSESSION:
        // Windows may end the process as soon as this returns.
        dialog.OnEndSession(wParam != FALSE ? 1 : 0);
        return ReturnResult(0);
    case WM_DESTROY:
        dialog.OnDestroy();
        return FALSE;
    default:
        break;
    }
    if (message == m_taskbarCreatedMessage && m_taskbarCreatedMessage != 0) {
        // The notification area was recreated (the shell restarted) and has forgotten the
        // icon. Without it a hidden window could never be brought back, so add it again as
        // it was last shown.
        if (m_trayWanted)
            TrayRequest(TrayAction::Add, m_trayShown);
        return FALSE;
    }
    return FALSE;
}

INT_PTR CWin32Window::OnCommandMessage(WPARAM wParam)
{
    const int commandId = LOWORD(wParam);
    const WORD notification = HIWORD(wParam);
    if (commandId == IDC_MAILLIST) {
        if (notification == LBN_DBLCLK)
            m_dialog->OnListDblClk();
        return TRUE;
    }
    // Buttons, menus and the keyboard; the edit fields' change notifications are not commands.
    if (notification != BN_CLICKED && notification != kAcceleratorNotification)
        return FALSE;
    return m_dialog->OnCommand(commandId) ? TRUE : FALSE;
}

INT_PTR CWin32Window::OnPaintMessage()
{
    m_paintByDefault = false;
    m_dialog->OnPaint();
    // FALSE lets the dialog paint itself; TRUE means DrawIconAt has painted the window.
    return m_paintByDefault ? FALSE : TRUE;
}

INT_PTR CWin32Window::ReturnResult(LRESULT result)
{
    SetWindowLongPtrA(m_window, DWLP_MSGRESULT, result);
    return TRUE;
}

HICON CWin32Window::LargeIcon(int iconResource)
{
    return LoadIconA(m_instance, MAKEINTRESOURCEA(iconResource));
}

HICON CWin32Window::SmallIcon(int iconResource)
{
    auto found = m_smallIcons.find(iconResource);
    if (found != m_smallIcons.end())
        return found->second;
    // The system's small-icon size: 16 x 16 at 100 %, 32 x 32 at 200 %, so that the tray and
    // the caption pick the icon's image that fits the display's scale.
    auto image = static_cast<HICON>(LoadImageA(m_instance, MAKEINTRESOURCEA(iconResource),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (image != nullptr)
        m_smallIcons[iconResource] = image;
    return image;
}

std::string CWin32Window::GetControlText(int controlId)
{
    if (controlId == IDC_STATUS && m_statusTextHeld)
        return m_heldStatusText;
    HWND control = GetDlgItem(m_window, controlId);
    if (control == nullptr)
        return std::string();
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void CWin32Window::SetControlText(int controlId, const std::string& text)
{
    // While the list holds its painting, the status line's newest text waits for the next
    // RepaintNow: only the text shown at a repaint can ever be seen, and under Wine every text
    // handed to the control costs about a quarter of a millisecond, as much as a listed entry.
    if (controlId == IDC_STATUS && m_heldList != nullptr) {
        m_heldStatusText = text;
        m_statusTextHeld = true;
        return;
    }
    SetDlgItemTextA(m_window, controlId, text.c_str());
}

int CWin32Window::GetCheck(int controlId)
{
    return IsDlgButtonChecked(m_window, controlId) == BST_CHECKED ? 1 : 0;
}

void CWin32Window::SetCheck(int controlId, int state)
{
    CheckDlgButton(m_window, controlId, static_cast<UINT>(state));
}

void CWin32Window::SetFocus(int controlId)
{
    // Through the dialog manager, so that the default button's frame follows the focus.
    SendMessageA(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_window, controlId)),
                 TRUE);
}

void CWin32Window::FocusAndSelectAll(int controlId)
{
    SetFocus(controlId);
    SendDlgItemMessageA(m_window, controlId, EM_SETSEL, 0, -1);
}

MessageAnswer CWin32Window::ShowMessage(const std::string& text, const std::string& caption,
                                        MessageStyle style)
{
    UINT type = MB_OK;
    if (style == MessageStyle::Exclamation)
        type = MB_OK | MB_ICONEXCLAMATION;
    else if (style == MessageStyle::YesNoQuestion)
        type = MB_YESNO | MB_ICONQUESTION;
    switch (MessageBoxA(m_window, text.c_str(), caption.c_str(), type)) {
    case IDYES:
        return MessageAnswer::Yes;
    case IDNO:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

void CWin32Window::BeginWaitCursor()
{
    HCURSOR previous = ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    if (m_waitCursorDepth++ == 0)
        m_cursorBeforeWait = previous;
}

void CWin32Window::EndWaitCursor()
{
    if (m_waitCursorDepth == 0)
        return;
    if (--m_waitCursorDepth == 0) {
        HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
        ::SetCursor(m_cursorBeforeWait != nullptr ? m_cursorBeforeWait : arrow);
    }
}

void CWin32Window::ListReset()
{
    SendDlgItemMessageA(m_window, IDC_MAILLIST, LB_RESETCONTENT, 0, 0);
}

void CWin32Window::ListAppend(const std::string& entry)
{
    // A list box paints its scroll bar with every entry; entries that come in quick
    // succession are painted together by the next RepaintNow instead. The list box is looked
    // up once for them: under Wine every look-up of a control is a request to the Wine server,
    // which costs many times what appending an entry does.
    if (m_heldList == nullptr) {
        m_heldList = GetDlgItem(m_window, IDC_MAILLIST);
        if (m_heldList == nullptr)
            return;
        m_listCountWhenHeld = static_cast<int>(SendMessageA(m_heldList, LB_GETCOUNT, 0, 0));
        SendMessageA(m_heldList, WM_SETREDRAW, FALSE, 0);
    }
    SendMessageA(m_heldList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

int CWin32Window::ListSelection()
{
    const LRESULT selected = SendDlgItemMessageA(m_window, IDC_MAILLIST, LB_GETCURSEL, 0, 0);
    return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

void CWin32Window::RepaintNow()
{
    // No message loop runs while a conversation blocks the thread: paint the window and the
    // controls that changed (the list, the status line) right now, the window together with
    // its children, after the list has its painting back and the status line its newest text.
    if (m_heldList != nullptr) {
        HWND list = m_heldList;
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        // Only the entries appended since, where they are in view, need painting; the rest
        // of the list looks as it did, and the list box sets its scroll bar itself.
        RECT changed;
        GetClientRect(list, &changed);
        RECT first;
        if (SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(m_listCountWhenHeld),
                         reinterpret_cast<LPARAM>(&first)) != LB_ERR &&
            first.top > changed.top)
            changed.top = first.top;
        if (changed.top < changed.bottom)
            InvalidateRect(list, &changed, TRUE);
        m_heldList = nullptr;
    }
    if (m_statusTextHeld) {
        m_statusTextHeld = false;
        SetDlgItemTextA(m_window, IDC_STATUS, m_heldStatusText.c_str());
    }
    RedrawWindow(m_window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CWin32Window::ShowNormal()
{
    ShowWindow(m_window, SW_SHOWNORMAL);
}

void CWin32Window::Hide()
{
    ShowWindow(m_window, SW_HIDE);
}

void CWin32Window::SetWindowIcons(int iconResource)
{
    SendMessageA(m_window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LargeIcon(iconResource)));
    SendMessageA(m_window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(SmallIcon(iconResource)));
}

void CWin32Window::TrayRequest(TrayAction action, const TrayRecord& record)
{
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    // The first form of the record: 88 bytes in the 32-bit program (the record's own size),
    // wider in a 64-bit build, whose handles are wider.
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = m_window;
    data.uID = record.iconId;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = SmallIcon(record.iconResource);
    static_assert(sizeof data.szTip >= sizeof record.tooltip);
    std::memcpy(data.szTip, record.tooltip, sizeof record.tooltip);
    data.szTip[sizeof record.tooltip - 1] = '\0';

    DWORD request = NIM_MODIFY;
    if (action == TrayAction::Add)
        request = NIM_ADD;
    else if (action == TrayAction::Delete)
        request = NIM_DELETE;
    if (action == TrayAction::Delete) {
        m_trayWanted = false;
    } else {
        m_trayShown = record;
        if (action == TrayAction::Add)
            m_trayWanted = true;
    }
    Shell_NotifyIconA(request, &data);
}

void CWin32Window::ShowTrayMenu(int menuResource)
{
    HMENU menu = LoadMenuA(m_instance, MAKEINTRESOURCEA(menuResource));
    if (menu == nullptr)
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the window in the foreground the menu would stay open when the user clicks
    // elsewhere; the empty message afterwards lets the next click go where it belongs.
    SetForegroundWindow(m_window);
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_LEFTBUTTON, cursor.x,
                   cursor.y, 0, m_window, nullptr);
    PostMessageA(m_window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void CWin32Window::ShowViewer(std::string& text)
{
    DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_MAILLIST), m_window, ViewerProcedure,
                    reinterpret_cast<LPARAM>(&text));
}

void CWin32Window::ShowAboutBox()
{
    DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), m_window, AboutProcedure, 0);
}

std::string CWin32Window::LoadString(int stringId)
{
    char text[kStringBufferSize] = {};
    const int length = ::LoadStringA(m_instance, static_cast<UINT>(stringId), text, kStringBufferSize);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

bool CWin32Window::HasSystemMenu()
{
    return GetSystemMenu(m_window, FALSE) != nullptr;
}

void CWin32Window::AppendSystemMenuSeparator()
{
    AppendMenuA(GetSystemMenu(m_window, FALSE), MF_SEPARATOR, 0, nullptr);
}

void CWin32Window::AppendSystemMenuItem(int commandId, const std::string& text)
{
    AppendMenuA(GetSystemMenu(m_window, FALSE), MF_STRING, static_cast<UINT_PTR>(commandId),
                text.c_str());
}

void CWin32Window::DefaultSystemCommand(unsigned commandId, long position)
{
    DefWindowProcA(m_window, WM_SYSCOMMAND, commandId, position);
}

void CWin32Window::StartTimer(int timerId, unsigned periodMilliseconds)
{
    SetTimer(m_window, static_cast<UINT_PTR>(timerId), periodMilliseconds, nullptr);
}

void CWin32Window::EndDialog(int result)
{
    ::EndDialog(m_window, result);
}

bool CWin32Window::IsMinimized()
{
    return IsIconic(m_window) != FALSE;
}

void CWin32Window::GetClientSize(int& width, int& height)
{
    RECT client = {};
    GetClientRect(m_window, &client);
    width = client.right - client.left;
    height = client.bottom - client.top;
}

void CWin32Window::GetStandardIconSize(int& width, int& height)
{
    width = GetSystemMetrics(SM_CXICON);
    height = GetSystemMetrics(SM_CYICON);
}

void CWin32Window::DrawIconAt(int iconResource, int x, int y)
{
    PAINTSTRUCT paint;
    HDC context = BeginPaint(m_window, &paint);
    SendMessageA(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    DrawIcon(context, x, y, LargeIcon(iconResource));
    EndPaint(m_window, &paint);
}

void CWin32Window::DefaultPaint()
{
    m_paintByDefault = true;
}

void CWin32Window::ShowHelp(unsigned topic)
{
    // The help file lies beside the program under its name, with the extension ".HLP".
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::string helpFile(path, length);
    const std::size_t name = helpFile.find_last_of("\\/");
    const std::size_t dot = helpFile.find_last_of('.');
    if (dot != std::string::npos && (name == std::string::npos || dot > name))
        helpFile.erase(dot);
    helpFile += ".HLP";
    WinHelpA(m_window, helpFile.c_str(), HELP_CONTEXT, topic);
}
