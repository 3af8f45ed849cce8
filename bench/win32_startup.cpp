// What opening the Windows program's window costs beside the least a window with as many
// controls costs: the editor's window made, its font chosen and fitted, its state loaded,
// shown and painted, against a plain window with 46 plain controls of the same kinds
// (no texts, tooltips, pictures, fonts or state), shown and painted; and against the least
// a program showing the same window costs: the table's 46 controls at their places with
// their captions in the system's dialog font, without fitting, tooltips, pictures,
// subclasses or state. All run in turns in one process, so that all meet the same system;
// the figures are medians. A plain
// program: no benchmark library is built for Windows here. Run it under Wine:
//   wine build/windows/src/win32/win32_startup_bench.exe [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ControlTable.h"
#include "Win32Window.h"

namespace {

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// Everything the system has queued for the new window, its paints included.
void Settle() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Shows and paints a window made since start, then destroys it: the time it took.
double ShownAndGone(HWND window, double start) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    Settle();
    const double took = Now() - start;
    DestroyWindow(window);
    Settle();
    return took;
}

double EditorWindow(HINSTANCE instance) {
    const double start = Now();
    auto window = std::make_unique<quorvel::win32::Win32Window>();
    if (!window->Create(instance, SW_SHOWNOACTIVATE)) std::exit(1);
    Settle();
    const double took = Now() - start;
    window.reset();
    Settle();
    return took;
}

double PlainWindow(HINSTANCE instance) {
    const double start = Now();
    const HWND window =
        CreateWindowExW(0, L"Quorvel.Plain", L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        575, 274, nullptr, nullptr, instance, nullptr);
    struct Kind {
        const wchar_t* windowClass;
        DWORD style;
        int count;
    };
    const Kind kinds[] = {{L"Button", BS_PUSHBUTTON, 2},
                          {L"Edit", ES_AUTOHSCROLL, 17},
                          {L"Button", BS_GROUPBOX, 3},
                          {L"Static", SS_LEFT, 18},
                          {L"Button", BS_AUTORADIOBUTTON, 6}};
    int place = 0;
    for (const Kind& kind : kinds) {
        for (int i = 0; i < kind.count; ++i, ++place)
            CreateWindowExW(0, kind.windowClass, L"", WS_CHILD | WS_VISIBLE | kind.style,
                            8 + 60 * (place % 9), 26 * (place / 9), 57, 19, window, nullptr,
                            instance, nullptr);
    }
    return ShownAndGone(window, start);
}

const wchar_t* ClassOf(quorvel::ControlKind kind) {
    switch (kind) {
        case quorvel::ControlKind::Field:
            return L"Edit";
        case quorvel::ControlKind::Label:
            return L"Static";
        default:
            return L"Button";
    }
}

DWORD StyleOf(quorvel::ControlKind kind) {
    switch (kind) {
        case quorvel::ControlKind::Frame:
            return BS_GROUPBOX;
        case quorvel::ControlKind::Option:
            return BS_AUTORADIOBUTTON;
        case quorvel::ControlKind::Field:
            return ES_AUTOHSCROLL | WS_BORDER;
        case quorvel::ControlKind::Label:
            return SS_LEFT;
        default:
            return BS_PUSHBUTTON;
    }
}

double TableWindow(HINSTANCE instance) {
    const double start = Now();
    const HWND window = CreateWindowExW(0, L"Quorvel.Plain", L"Eigenschaften Rollmaterial",
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 575, 274,
                                        nullptr, nullptr, instance, nullptr);
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    for (const quorvel::Control& control : quorvel::Controls()) {
        const std::string utf8(control.caption);
        std::wstring caption(utf8.size(), L'\0');
        caption.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                caption.data(), static_cast<int>(caption.size()))));
        const HWND child = CreateWindowExW(
            0, ClassOf(control.kind), caption.c_str(),
            WS_CHILD | WS_VISIBLE | StyleOf(control.kind), quorvel::Pixels(control.left, 96),
            quorvel::Pixels(control.top, 96), quorvel::Pixels(control.width, 96),
            quorvel::Pixels(control.height, 96), window, nullptr, instance, nullptr);
        SendMessageW(child, WM_SETFONT, font, FALSE);
    }
    return ShownAndGone(window, start);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW plain = {};
    plain.lpfnWndProc = DefWindowProcW;
    plain.hInstance = instance;
    plain.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    plain.lpszClassName = L"Quorvel.Plain";
    RegisterClassW(&plain);
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 30;
    // One of each first: the first window of a process loads the controls' code.
    EditorWindow(instance);
    PlainWindow(instance);
    TableWindow(instance);
    std::vector<double> editor, bare, table;
    for (int i = 0; i < rounds; ++i) {
        editor.push_back(EditorWindow(instance));
        bare.push_back(PlainWindow(instance));
        table.push_back(TableWindow(instance));
    }
    const double e = Median(editor), b = Median(bare), t = Median(table);
    std::printf("editor window, 46 controls, fitted, shown, painted:   %8.0f us\n", e);
    std::printf("plain window, 46 plain controls, shown, painted:      %8.0f us\n", b);
    std::printf("the table's 46 controls with captions, dialog font:   %8.0f us\n", t);
    std::printf(
        "ratio to the plain window: %.2f, to the table's: %.2f (median of %d rounds each)\n", e / b,
        e / t, rounds);
    return 0;
}
