// The stand-in notification area: a top-most window of class "Shell_TrayWnd" that takes the
// WM_COPYDATA requests of Shell_NotifyIconA and records owner, id, flags, callback and tooltip.
#include "TrayWatcher.h"

#include <cstring>

namespace {

const char kTrayClass[] = "Shell_TrayWnd";
// Windows itself prefixes the record with this signature and the request; Wine sends its own
// layout, the request travelling in dwData.
constexpr std::uint32_t kWindowsSignature = 0x34753423;
constexpr std::size_t kTipCharacters = 128;

std::uint32_t ReadWord(const unsigned char* data, std::size_t offset)
{
    std::uint32_t value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

std::string ReadTip(const unsigned char* data, std::size_t offset, std::size_t length)
{
    if (offset + kTipCharacters * sizeof(WCHAR) > length)
        return std::string();
    WCHAR tip[kTipCharacters + 1] = {};
    std::memcpy(tip, data + offset, kTipCharacters * sizeof(WCHAR));
    char converted[kTipCharacters * 2 + 1] = {};
    WideCharToMultiByte(CP_ACP, 0, tip, -1, converted, sizeof converted, nullptr, nullptr);
    return converted;
}

}  // namespace

CTrayWatcher::CTrayWatcher()
{
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, created] { Run(created); });
    WaitForSingleObject(created, 10000);
    CloseHandle(created);
}

CTrayWatcher::~CTrayWatcher()
{
    if (m_threadId != 0)
        PostThreadMessageA(m_threadId, WM_QUIT, 0, 0);
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<TrayNotice> CTrayWatcher::Notices() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notices;
}

void CTrayWatcher::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notices.clear();
}

void CTrayWatcher::Run(HANDLE created)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kTrayClass;
    RegisterClassA(&windowClass);
    // Top-most, so that a search for the class finds this window before the system's own.
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kTrayClass, nullptr, WS_POPUP,
                                  0, 0, 1, 1, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_threadId = GetCurrentThreadId();
        m_window = window;
    }
    SetEvent(created);
    if (window == nullptr)
        return;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(window);
}

LRESULT CALLBACK CTrayWatcher::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        auto* self = reinterpret_cast<CTrayWatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (self != nullptr && copy != nullptr && copy->lpData != nullptr)
            self->Record(static_cast<std::uint32_t>(copy->dwData), copy->lpData, copy->cbData);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CTrayWatcher::Record(std::uint32_t request, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    TrayNotice notice;
    if (length >= 32 && ReadWord(bytes, 0) == kWindowsSignature) {
        notice.request = ReadWord(bytes, 4);
        notice.owner = ReadWord(bytes, 12);
        notice.iconId = ReadWord(bytes, 16);
        notice.flags = ReadWord(bytes, 20);
        notice.callbackMessage = ReadWord(bytes, 24);
        notice.tooltip = ReadTip(bytes, 32, length);
    } else if (length >= 16) {
        notice.request = request;
        notice.owner = ReadWord(bytes, 0);
        notice.iconId = ReadWord(bytes, 4);
        notice.flags = ReadWord(bytes, 8);
        notice.callbackMessage = ReadWord(bytes, 12);
        // Older Wine places the tooltip right after these fields, newer Wine places the
        // icon's width, height, planes and depth first; a width reads as a control character.
        notice.tooltip = ReadTip(bytes, 16, length);
        if (length >= 32 && ReadWord(bytes, 16) < 0x20)
            notice.tooltip = ReadTip(bytes, 32, length);
    } else {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notices.push_back(notice);
}
