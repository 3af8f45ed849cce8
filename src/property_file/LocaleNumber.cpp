#include "LocaleNumber.h"

#include <charconv>
#include <string>

namespace quorvel {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool StartsWith(std::string_view text, std::size_t at, std::string_view what) {
    // The first-byte test spares a comparison call for almost every character.
    return !what.empty() && text[at] == what.front() && text.substr(at, what.size()) == what;
}

// Rewrites the text into the one form from_chars reads, [-]digits[.digits][e[-]digits],
// when canonical is given; false when its shape is not a number. surelyInRange is set
// when from_chars cannot fail on the result: without an exponent, 300 digits neither
// overflow nor underflow. surelyTooLarge is set when it must fail: without an
// exponent, 310 whole digits after the leading zeros exceed any double.
bool ToCanonical(std::string_view text, std::string_view decimal, std::string_view group,
                 std::string* canonical, bool& surelyInRange, bool& surelyTooLarge) {
    auto put = [canonical](char c) {
        if (canonical != nullptr) canonical->push_back(c);
    };
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') put('-');
        ++i;
    }
    std::size_t mantissaDigits = 0;
    std::size_t wholeDigits = 0;  // of the whole part, from its first digit but 0
    bool inFraction = false;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
            if (!inFraction && (wholeDigits > 0 || text[i] != '0')) ++wholeDigits;
            put(text[i++]);
            ++mantissaDigits;
        } else if (!inFraction && StartsWith(text, i, decimal)) {
            put('.');
            i += decimal.size();
            inFraction = true;
        } else if (!inFraction && mantissaDigits > 0 && StartsWith(text, i, group) &&
                   i + group.size() < text.size() && IsDigit(text[i + group.size()])) {
            i += group.size();  // grouping only between digits of the whole part
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return false;
    surelyInRange = mantissaDigits <= 300;
    surelyTooLarge = wholeDigits >= 310;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        surelyInRange = false;
        surelyTooLarge = false;
        put('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            if (text[i] == '-') put('-');
            ++i;
        }
        const std::size_t firstExponentDigit = i;
        while (i < text.size() && IsDigit(text[i])) put(text[i++]);
        if (i == firstExponentDigit) return false;
    }
    return i == text.size();
}

std::optional<double> FromCanonical(const std::string& canonical) {
    double value = 0;
    const auto [end, ec] = std::from_chars(canonical.data(), canonical.data() + canonical.size(),
                                           value, std::chars_format::general);
    if (ec != std::errc{} || end != canonical.data() + canonical.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> ParseLocaleNumber(std::string_view text, const NumberFormat& format) {
    return ParseLocaleNumber(text, format.DecimalSeparator(), format.GroupSeparator());
}

std::optional<double> ParseLocaleNumber(std::string_view text, std::string_view decimal,
                                        std::string_view group) {
    std::string canonical;
    bool surelyInRange = false, surelyTooLarge = false;
    if (!ToCanonical(text, decimal, group, &canonical, surelyInRange, surelyTooLarge))
        return std::nullopt;
    return FromCanonical(canonical);
}

bool IsLocaleNumber(std::string_view text, std::string_view decimal, std::string_view group) {
    const char plainDecimal = PlainDecimal(decimal);
    if (IsPlainNumber(text, plainDecimal, PlainGroup(group, plainDecimal))) return true;
    bool surelyInRange = false, surelyTooLarge = false;
    if (!ToCanonical(text, decimal, group, nullptr, surelyInRange, surelyTooLarge)) return false;
    if (surelyTooLarge) return false;
    return surelyInRange || ParseLocaleNumber(text, decimal, group).has_value();
}

}  // namespace quorvel
