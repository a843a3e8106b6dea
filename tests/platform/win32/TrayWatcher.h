// CTrayWatcher: a stand-in for the notification area. It owns a window of the class that
// Shell_NotifyIconA delivers its requests to, on a thread of its own, and records them.
#ifndef KELVOR_TESTS_PLATFORM_WIN32_TRAYWATCHER_H
#define KELVOR_TESTS_PLATFORM_WIN32_TRAYWATCHER_H

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TrayNotice {
    std::uint32_t request = 0;  // NIM_ADD, NIM_MODIFY or NIM_DELETE
    std::uint32_t owner = 0;    // the owner window's handle, as the low 32 bits
    std::uint32_t iconId = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    std::string tooltip;        // converted to the program's code page
};

class CTrayWatcher {
public:
    // Creates the window and starts answering requests; Ready() tells whether that worked.
    CTrayWatcher();
    ~CTrayWatcher();

    CTrayWatcher(const CTrayWatcher&) = delete;
    CTrayWatcher& operator=(const CTrayWatcher&) = delete;

    bool Ready() const { return m_window != nullptr; }
    std::vector<TrayNotice> Notices() const;
    void Clear();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(HANDLE created);
    void Record(std::uint32_t request, const void* data, std::size_t length);

    mutable std::mutex m_mutex;
    std::vector<TrayNotice> m_notices;
    HWND m_window = nullptr;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

#endif
