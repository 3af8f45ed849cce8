#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "Services.h"

// The editor's platform pieces through the Win32 API: wide calls throughout, so that
// German texts and paths pass whatever the ANSI code page is.
namespace quorvel::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The decimal and group separators of the user's regional settings, read at each call.
class Win32NumberFormat : public NumberFormat {
  public:
    std::string DecimalSeparator() const override;
    std::string GroupSeparator() const override;
};

// Modal message boxes owned by the given window (set once the window exists).
class Win32MessageSink : public MessageSink {
  public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;

  private:
    HWND owner_ = nullptr;
};

// The system's open dialog with the wide API. Its buffer holds the longest path the
// system allows, so no path is refused for its length.
class Win32FileDialog : public FileDialog {
  public:
    void SetOwner(HWND owner) { owner_ = owner; }
    std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                               const std::optional<std::string>& initialFolder) override;

  private:
    HWND owner_ = nullptr;
};

}  // namespace quorvel::win32
