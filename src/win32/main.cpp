// The Windows program: the editor's one window and its message loop.
#include "Win32Window.h"

#include <shellapi.h>

#include <string>
#include <vector>

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
    // Files named on the command line (as when a .txt file is opened with the editor): the
    // first is opened as the open button opens the one its dialog gives, the others are
    // named in a box.
    int count = 0;
    if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> files;
        for (int i = 1; i < count; ++i) files.push_back(quorvel::win32::Utf8(args[i]));
        LocalFree(args);
        window.OpenArguments(files);
    }
    while (GetMessageW(&message, nullptr, 0, 0) > 0) handle();
    return static_cast<int>(message.wParam);
}
