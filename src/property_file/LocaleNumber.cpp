#include "LocaleNumber.h"

#include <charconv>
#include <string>

namespace quorvel {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool StartsWith(std::string_view text, std::size_t at, std::string_view what) {
    return !what.empty() && text.substr(at, what.size()) == what;
}
}  // namespace

std::optional<double> ParseLocaleNumber(std::string_view text, const NumberFormat& format) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    const std::string decimal = format.DecimalSeparator();
    const std::string group = format.GroupSeparator();

    // Rewrite into the one form from_chars reads: [-]digits[.digits][e[-]digits].
    std::string canonical;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') canonical += '-';
        ++i;
    }
    bool mantissaDigits = false;
    bool inFraction = false;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            canonical += text[i++];
            mantissaDigits = true;
        } else if (!inFraction && StartsWith(text, i, decimal)) {
            canonical += '.';
            i += decimal.size();
            inFraction = true;
        } else if (!inFraction && mantissaDigits && StartsWith(text, i, group) &&
                   i + group.size() < text.size() && IsDigit(text[i + group.size()])) {
            i += group.size();  // grouping only between digits of the whole part
        } else {
            break;
        }
    }
    if (!mantissaDigits) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        canonical += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            if (text[i] == '-') canonical += '-';
            ++i;
        }
        const std::size_t firstExponentDigit = i;
        while (i < text.size() && IsDigit(text[i])) canonical += text[i++];
        if (i == firstExponentDigit) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;

    double value = 0;
    const auto [end, ec] = std::from_chars(canonical.data(), canonical.data() + canonical.size(),
                                           value, std::chars_format::general);
    if (ec != std::errc{} || end != canonical.data() + canonical.size()) return std::nullopt;
    return value;
}

}  // namespace quorvel
