// Drives the Windows window from outside as a person would, through the window's own messages:
//   window-probe wait           waits for Form1 and prints its caption
//   window-probe text           prints the results box
//   window-probe click CAPTION  presses the button with that caption and returns once its work
//                               is done
//   window-probe box TITLE      waits for a message box with that title, prints its text and
//                               presses OK
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/win/WideText.h"

namespace {

using fas::platform::Utf8;
using fas::platform::Wide;

// WM_GETTEXT itself: GetWindowText gives another program's controls' text only as created.
std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                      L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// A top-level window (no parent) or a control, once it shows; a minute at most.
HWND WaitFor(HWND parent, const wchar_t* windowClass, const wchar_t* title) {
    for (int i = 0; i < 600; ++i, Sleep(100)) {
        if (HWND found = FindWindowExW(parent, nullptr, windowClass, title);
            found != nullptr && IsWindowVisible(found)) {
            return found;
        }
    }
    std::fprintf(stderr, "window-probe: no such window\n");
    std::exit(1);
}

// The text as the window holds it, CR LF line ends and all (the suite reads a Windows program's
// output so), and one more line end to close the output.
void Print(const std::wstring& text) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::fputs((Utf8(text) + "\n").c_str(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const std::wstring argument = argc > 2 ? Wide(argv[2]) : L"";
    if (command == "box") {
        HWND box = WaitFor(nullptr, L"#32770", argument.c_str());
        Print(TextOf(GetDlgItem(box, 0xFFFF)));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    HWND form = WaitFor(nullptr, L"Form1", nullptr);
    if (command == "wait") {
        Print(TextOf(form));
    } else if (command == "text") {
        Print(TextOf(WaitFor(form, L"Edit", nullptr)));
    } else if (command == "click") {
        // SendMessage returns once the window has handled the click, run included.
        SendMessageW(WaitFor(form, L"Button", argument.c_str()), BM_CLICK, 0, 0);
    } else {
        std::fprintf(stderr, "window-probe: wait, text, click CAPTION or box TITLE\n");
        return 2;
    }
    return 0;
}
