// The main window's part in signing in with a mail provider: the web address handed to the
// shell, which opens it in the user's browser, and the modal box that waits for the browser
// to come back while the window's timer ticks go on.
#include "platform/win32/Win32Window.h"

#include "res/resource.h"
#include "signin/SignInTexts.h"

namespace {

// The box polls at this period.
constexpr UINT kPollMilliseconds = 100;
constexpr UINT_PTR kPollTimer = 1;

struct WaitState {
    const std::function<bool()>* poll;
    bool polling;  // a poll that shows a box of its own must not be entered again by the timer
};

INT_PTR CALLBACK SignInWaitProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        // The words every platform's box shows; the template holds the same as a fallback.
        SetDlgItemTextA(dialog, IDC_SIGNINTEXT, kSignInTextWaiting);
        SetTimer(dialog, kPollTimer, kPollMilliseconds, nullptr);
        return TRUE;  // the focus goes to the cancel button
    case WM_TIMER: {
        auto* state = reinterpret_cast<WaitState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (wParam != kPollTimer || state == nullptr || state->polling)
            return TRUE;
        state->polling = true;
        const bool finished = (*state->poll)();
        state->polling = false;
        if (finished) {
            KillTimer(dialog, kPollTimer);
            ::EndDialog(dialog, IDOK);
        }
        return TRUE;
    }
    case WM_COMMAND:
        // Esc and the close box are the cancel button.
        if (LOWORD(wParam) == IDCANCEL) {
            KillTimer(dialog, kPollTimer);
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

bool CWin32Window::OpenWebAddress(const std::string& address)
{
    // A web address is ASCII; anything else is not handed to the shell.
    std::wstring wide;
    for (char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E)
            return false;
        wide += static_cast<wchar_t>(byte);
    }
    if (wide.compare(0, 8, L"https://") != 0 && wide.compare(0, 7, L"http://") != 0)
        return false;
    const HINSTANCE result = ShellExecuteW(m_window, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // The shell answers a value above 32 when it started something for the address.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool CWin32Window::WaitForSignIn(const std::function<bool()>& poll)
{
    WaitState state{&poll, false};
    const INT_PTR result = DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_SIGNINWAIT), m_window,
                                           SignInWaitProcedure, reinterpret_cast<LPARAM>(&state));
    return result == IDOK;
}
