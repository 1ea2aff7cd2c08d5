#include "ui/win32/MainWindow.h"

#include <stdexcept>
#include <string_view>

#include "platform/win/WideText.h"

namespace fas::ui::win32 {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The layout in twips, as designed; 1440 twips an inch.
struct Place {
    int left, top, width, height;
};
constexpr Place kClient{0, 0, 10935, 6990};
constexpr Place kResults{120, 120, 10695, 6255};
constexpr Place kExit{9600, 6480, 1215, 375};
constexpr Place kClear{8280, 6480, 1215, 375};
constexpr Place kDoTasks{6960, 6480, 1215, 375};

int Pixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}

int MonitorDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The hourglass for the whole application while a run works: no message is handled meanwhile,
// so nothing puts the arrow back before the run ends.
class BusyCursor {
  public:
    BusyCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~BusyCursor() { SetCursor(previous_); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    HCURSOR previous_;
};

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

MainWindow::MainWindow(ServerState& state, const tasks::TaskList& catalog)
    : session_(state, catalog) {
    create();
}

MainWindow::~MainWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

void MainWindow::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MainWindow::procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    RegisterClassExW(&windowClass);

    const int dpi = MonitorDpi();
    RECT frame{0, 0, Pixels(kClient.width, dpi), Pixels(kClient.height, dpi)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    window_ = CreateWindowExW(0, kWindowClass, platform::Wide(kDesignCaption).c_str(), kStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw std::runtime_error("The window could not be created: " +
                                 platform::SystemMessage(GetLastError()));
    }

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight = -MulDiv(9, dpi, 72);
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);

    // Created in tab order: the results box, Exit, Clear, Do Tasks.
    auto control = [&](const wchar_t* kind, const wchar_t* caption, DWORD style, const Place& at,
                       int id) {
        HWND child = CreateWindowExW(
            kind == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0, kind, caption,
            WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, Pixels(at.left, dpi), Pixels(at.top, dpi),
            Pixels(at.width, dpi), Pixels(at.height, dpi), window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        return child;
    };
    results_ =
        control(L"EDIT", L"", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, kResults, kResultsId);
    // An edit box holds 32K characters unless told otherwise; the line limit bounds it.
    SendMessageW(results_, EM_SETLIMITTEXT, 0, 0);
    control(L"BUTTON", L"Exit", BS_PUSHBUTTON, kExit, kExitId);
    control(L"BUTTON", L"Clear", BS_PUSHBUTTON, kClear, kClearId);
    control(L"BUTTON", L"Do Tasks", BS_PUSHBUTTON, kDoTasks, kDoTasksId);
    SetFocus(results_);
}

void MainWindow::load() {
    BusyCursor busy;
    present(session_.load());
}

void MainWindow::showServer() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetWindowTextW(window_, platform::Wide(session_.caption()).c_str());
}

int MainWindow::run() {
    MSG message;
    // Nothing more is dispatched once Exit was pressed, whatever was already queued.
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && !exited_) {
        // Tab and Shift+Tab between the controls.
        if (!IsDialogMessageW(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}

void MainWindow::present(const WindowSession::Step& step) {
    if (step.line) {
        const std::string text =
            PrependResultsLine(platform::Utf8(WindowText(results_)), *step.line);
        SetWindowTextW(results_, platform::Wide(text).c_str());
    }
    SetTimer(window_, kTimerId, static_cast<UINT>(step.nextTick.count()), nullptr);
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) {
                BusyCursor busy;
                KillTimer(window_, kTimerId);
                present(session_.tick());
            }
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) {
                break;
            }
            switch (LOWORD(wParam)) {
                case kDoTasksId: {
                    BusyCursor busy;
                    KillTimer(window_, kTimerId);
                    present(session_.doTasks());
                    return 0;
                }
                case kClearId:
                    SetWindowTextW(results_, L"");
                    return 0;
                case kExitId:
                    // The connection closed and the process ended at once: no further event
                    // runs and the window is not asked whether it may close.
                    session_.exitProgram();
                    exited_ = true;
                    // A click sent from another thread runs inside GetMessage: wake it.
                    PostQuitMessage(0);
                    return 0;
                default:
                    break;
            }
            break;
        case WM_DESTROY:
            KillTimer(window_, kTimerId);
            window_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace fas::ui::win32
