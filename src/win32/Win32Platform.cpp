#include "Win32Platform.h"

#include <commdlg.h>

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

// Messages break their lines with CR LF already; the caption defaults to the program's.
int Box(HWND owner, const std::string& caption, const std::string& text, UINT style) {
    const std::wstring title = Wide(caption.empty() ? std::string(kAppTitle) : caption);
    return MessageBoxW(owner, Wide(text).c_str(), title.c_str(), style | MB_TASKMODAL);
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
