#pragma once

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

}  // namespace quorvel
