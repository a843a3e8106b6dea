// Times kelvor.exe's listing as a user meets it: starts the program, fills in the server,
// user and password, and presses "リストを表示"; the press is sent, so it returns when the
// program's handler has ended, after QUIT. Prints the milliseconds of each press. Where
// KELVOR_SCREENSHOT_DIR names a folder, asks for a picture of the screen after the first.
// Usage (under Wine): program_list_driver KELVOR.EXE SERVER USER PASSWORD MESSAGES [PRESSES]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ProgramDriver.h"
#include "res/resource.h"

namespace {

// A listing of thousands of messages over a slow link may take minutes when it goes badly.
const UINT kPressTimeLimitMilliseconds = 600000;
// Wine may take its time to start the first program of a session on a busy machine.
const DWORD kWindowTimeLimitMilliseconds = 60000;

void SetField(HWND dialog, int controlId, const std::string& text)
{
    SendMessageA(GetDlgItem(dialog, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

double SecondsNow()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s KELVOR.EXE SERVER USER PASSWORD MESSAGES [PRESSES]\n", argv[0]);
        return 2;
    }
    const int messages = std::atoi(argv[5]);
    const int presses = argc > 6 ? std::atoi(argv[6]) : 1;
    CProgramProcess program;
    if (!program.Start(WindowsPath(argv[1]))) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    HWND window = program.WaitForDialog("Kelvor", nullptr, kWindowTimeLimitMilliseconds);
    if (window == nullptr) {
        std::fprintf(stderr, "the window \"Kelvor\" did not appear\n");
        return 1;
    }
    SetField(window, IDC_INTERVAL, "60");
    SetField(window, IDC_SERVER, argv[2]);
    SetField(window, IDC_USER, argv[3]);
    SetField(window, IDC_PASSWORD, argv[4]);
    HWND list = GetDlgItem(window, IDC_MAILLIST);
    for (int press = 0; press < presses; ++press) {
        const double start = SecondsNow();
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(IDC_SHOWLIST, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_SHOWLIST)), SMTO_NORMAL,
                                 kPressTimeLimitMilliseconds, &ignored)) {
            std::fprintf(stderr, "the listing did not end in time\n");
            return 1;
        }
        const double milliseconds = (SecondsNow() - start) * 1000.0;
        std::printf("%.1f\n", milliseconds);
        std::fflush(stdout);
        if (press == 0)
            RequestScreenshot("windows-" + std::to_string(messages) + "-listed");
        const LRESULT entries = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (entries != messages || !TextOf(GetDlgItem(window, IDC_STATUS)).empty()) {
            std::fprintf(stderr, "the list holds %ld entries, not %d\n", static_cast<long>(entries), messages);
            return 1;
        }
    }
    return 0;
}
