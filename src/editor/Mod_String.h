#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform.h"

// Decimal text as the editor writes and reads it: "." as the decimal point and no digit
// grouping, whatever the user's locale or the process locale.
namespace quorvel {

// The value rounded to `decimals` places, written as an optional "-", at least one digit,
// and, when decimals > 0, "." followed by exactly that many digits. Without decimals (or
// with 0) it is a whole number without a point. decimals is clamped to 0..20.
// A value that rounds to zero is written without "-" ("-0.04" with one decimal gives
// "0.0"): a signed zero means nothing to the user and would differ from a typed "0.0".
// A value that is not finite is written as 0 in the asked form, never as "inf" or "nan".
// The halfway case follows std::to_chars: the exact binary value is rounded correctly.
std::string FormatDecimal(double value, std::optional<int> decimals = std::nullopt);

// The text with its first "," replaced by "."; later commas stay.
std::string CommaToDot(std::string_view text);

// Replaces the field's text by CommaToDot of it; nothing is trimmed or validated.
void NormalizeDecimalField(std::string& field);

// The lenient reading; never fails. Spaces, tabs and line feeds are dropped wherever they
// stand, then the leading number is read: optional sign, digits with at most one ".",
// optional exponent ("e" or "E", optional sign, at least one digit). The rest is ignored.
// No digit at all reads as 0, and so does a number beyond the range of double, so the
// result is always finite.
double ParseLeadingNumber(std::string_view text);

// The strict reading: the whole text must be a number. A text in the editor's own form
// (blanks around, optional sign, digits, optionally "." and more digits) is read with "."
// as decimal point whatever the user's format, so the editor always reads back what it
// wrote; ".5" and "5." are not of that form. Every other text is read by the user's number
// format. Fails on anything else, the empty text included, and on numbers beyond the
// range of double.
std::optional<double> ParseStrictNumber(std::string_view text, const NumberFormat& format);

}  // namespace quorvel
