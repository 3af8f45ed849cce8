// The Windows program: the editor's one window and its message loop.
#include "Win32Window.h"

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    quorvel::win32::Win32Window window;
    if (!window.Create(instance, show)) return 1;
    MSG message;
    auto handle = [&] {
        if (window.PreTranslate(message)) return;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    };
    // The window is shown and painted first, so that a box about the file named on the
    // command line stands over it.
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
        handle();
    }
    // A file named on the command line (as when a .txt file is opened with the editor)
    // is opened as the open button opens the one its dialog gives.
    int count = 0;
    if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
        if (count > 1) window.OpenGiven(quorvel::win32::Utf8(args[1]));
        LocalFree(args);
    }
    while (GetMessageW(&message, nullptr, 0, 0) > 0) handle();
    return static_cast<int>(message.wParam);
}
