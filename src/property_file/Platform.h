#pragma once

#include <string>

// The small interfaces through which the core reaches the platform; the Qt layer
// implements them for the window, tests pass fakes.
namespace quorvel {

inline constexpr const char* kAppTitle = "Quorvel";

// Values are the message-box styles the host platform uses for these icons.
enum class MessageIcon { Critical = 16, Exclamation = 48, Information = 64 };

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Modal: returns when the user has closed the message.
    virtual void ShowMessage(const std::string& caption, const std::string& text,
                             MessageIcon icon) = 0;
    // Modal question with the buttons Ja and Nein, Nein the default; true for Ja.
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
};

// The user's regional number format. Separators are UTF-8 text (some locales group
// digits with a non-breaking space).
class NumberFormat {
  public:
    virtual ~NumberFormat() = default;
    virtual std::string DecimalSeparator() const = 0;
    virtual std::string GroupSeparator() const = 0;
};

}  // namespace quorvel
