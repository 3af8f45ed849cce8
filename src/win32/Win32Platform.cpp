#include "Win32Platform.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace quorvel::win32 {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

namespace {

std::string LocaleText(LCTYPE item, const char* fallback) {
    wchar_t text[16] = {};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, text, 16);
    return length > 1 ? Utf8(std::wstring_view(text, static_cast<std::size_t>(length - 1)))
                      : fallback;
}

// A message box breaks its lines only at spaces and cuts a longer run off at its edge: a
// run wider than a box's line (a long path) is broken after a folder separator, or where
// it must, so that every character shows.
std::wstring BreakLongRuns(const std::wstring& text) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HDC dc = GetDC(nullptr);
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    const HGDIOBJ old = SelectObject(dc, font);
    // Inside the narrowest line a box allows (Wine's: about 236 pixels at 96 dots per
    // inch, 300 at 144).
    const int limit = MulDiv(190, static_cast<int>(GetDpiForSystem()), 96);
    std::wstring out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find_first_of(L" \r\n\t", at), text.size());
        std::wstring_view run(text.data() + at, end - at);
        while (!run.empty()) {
            int fit = 0;
            SIZE size = {};
            GetTextExtentExPointW(dc, run.data(), static_cast<int>(run.size()), limit, &fit,
                                  nullptr, &size);
            std::size_t piece = run.size();
            if (static_cast<std::size_t>(fit) < run.size()) {
                piece = static_cast<std::size_t>(std::max(fit, 1));
                const std::size_t separator = run.substr(0, piece).find_last_of(L"\\/");
                if (separator != std::wstring_view::npos && separator > 0) piece = separator + 1;
            }
            out.append(run.substr(0, piece));
            run.remove_prefix(piece);
            if (!run.empty()) out += L"\r\n";
        }
        if (end < text.size()) out += text[end];
        at = end + 1;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return out;
}

// The question's buttons in German with their keys (Alt+J or J, Alt+N or N), whatever
// language the system speaks: set as the box comes up.
LRESULT CALLBACK GermanButtons(int code, WPARAM wParam, LPARAM lParam) {
    const auto box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) {
        SetDlgItemTextW(box, IDYES, L"&Ja");
        SetDlgItemTextW(box, IDNO, L"&Nein");
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Messages break their lines with CR LF already; the caption defaults to the program's.
int Box(HWND owner, const std::string& caption, const std::string& text, UINT style) {
    const std::wstring title = Wide(caption.empty() ? std::string(kAppTitle) : caption);
    const HHOOK hook = (style & MB_TYPEMASK) == MB_YESNO
                           ? SetWindowsHookExW(WH_CBT, GermanButtons, nullptr, GetCurrentThreadId())
                           : nullptr;
    const int answer =
        MessageBoxW(owner, BreakLongRuns(Wide(text)).c_str(), title.c_str(), style | MB_TASKMODAL);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    return answer;
}

}  // namespace

std::string Win32NumberFormat::DecimalSeparator() const {
    return LocaleText(LOCALE_SDECIMAL, ".");
}

std::string Win32NumberFormat::GroupSeparator() const {
    return LocaleText(LOCALE_STHOUSAND, ",");
}

void Win32MessageSink::ShowMessage(const std::string& caption, const std::string& text,
                                   MessageIcon icon) {
    Box(owner_, caption, text, MB_OK | static_cast<UINT>(icon));
}

bool Win32MessageSink::AskYesNo(const std::string& caption, const std::string& text) {
    return Box(owner_, caption, text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::string Win32FileDialog::ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                                            const std::optional<std::string>& initialFolder) {
    // The filter's parts end in NUL each; the list ends in one more.
    std::wstring pairs = Wide(filter);
    pairs.push_back(L'\0');
    pairs.push_back(L'\0');
    const std::wstring folder = initialFolder ? Wide(*initialFolder) : std::wstring();
    std::vector<wchar_t> file(32768, L'\0');

    OPENFILENAMEW record = {};
    record.lStructSize = sizeof record;
    record.hwndOwner = owner_;
    record.lpstrFilter = pairs.c_str();
    record.nFilterIndex = 1;
    record.lpstrFile = file.data();
    record.nMaxFile = static_cast<DWORD>(file.size());
    record.lpstrInitialDir = initialFolder ? folder.c_str() : nullptr;
    record.Flags = flags;
    if (!GetOpenFileNameW(&record)) return {};
    return Utf8(file.data());
}

}  // namespace quorvel::win32
