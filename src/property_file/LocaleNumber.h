#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "Platform.h"

namespace quorvel {

// Reads a whole text as a number written in the user's format: blanks around, an
// optional sign, digits with the format's decimal separator and optional digit
// grouping, an optional exponent. Anything else, the empty text included, gives
// nullopt. Locale-free: the C library's locale is never consulted.
std::optional<double> ParseLocaleNumber(std::string_view text, const NumberFormat& format);

// The same with the format's separators already taken, for callers that test many texts.
std::optional<double> ParseLocaleNumber(std::string_view text, std::string_view decimal,
                                        std::string_view group);

// Whether ParseLocaleNumber would give a value; cheaper, as the value is not computed
// when it cannot be out of range.
bool IsLocaleNumber(std::string_view text, std::string_view decimal, std::string_view group);

// The decimal separator as the one byte IsPlainNumber takes, or '\0' when it is
// longer or a digit: then only IsLocaleNumber can tell.
inline char PlainDecimal(std::string_view decimal) {
    return decimal.size() == 1 && (decimal[0] < '0' || decimal[0] > '9') ? decimal[0] : '\0';
}

// The group separator as the one byte IsPlainNumber takes, or '\0' when it or the
// decimal separator (as PlainDecimal gave it) is not one plain byte, or both are the
// same: then only IsLocaleNumber can tell.
inline char PlainGroup(std::string_view group, char decimal) {
    const char c = PlainDecimal(group);
    return decimal != '\0' && c != decimal ? c : '\0';
}

// Whether text has the form values almost always have: blanks around, an optional
// sign, digits with at most one decimal byte, grouping bytes between the digits of
// the whole part, no more than 300 digits. True only where IsLocaleNumber says yes
// too (it walks the text by the same rules); false decides nothing and comes at the
// first byte outside that form. Inline, for readers that test a value in every line.
inline bool IsPlainNumber(std::string_view text, char decimal, char group) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    std::size_t digits = 0;
    bool inFraction = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 300) return false;
        } else if (c == decimal && decimal != '\0' && !inFraction) {
            inFraction = true;
        } else if (c != group || group == '\0' || inFraction || digits == 0 ||
                   i + 1 == text.size() || text[i + 1] < '0' || text[i + 1] > '9') {
            return false;
        }
    }
    return digits > 0;
}

}  // namespace quorvel
