#include "Mod_String.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "LocaleNumber.h"

namespace quorvel {

namespace {

constexpr int kMaxDecimals = 20;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads the canonical form [-]digits.digits[e[-]digits]; nullopt when out of range.
std::optional<double> ReadCanonical(const std::string& canonical) {
    double value = 0;
    const char* const end = canonical.data() + canonical.size();
    const auto [ptr, ec] =
        std::from_chars(canonical.data(), end, value, std::chars_format::general);
    if (ec != std::errc{} || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::string FormatDecimal(double value, std::optional<int> decimals) {
    const int places = std::clamp(decimals.value_or(0), 0, kMaxDecimals);
    if (!std::isfinite(value)) value = 0;

    // Sign, 309 whole digits of the largest double, point and the decimals.
    std::array<char, 1 + 309 + 1 + kMaxDecimals + 8> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, places);
    if (ec != std::errc{}) return places == 0 ? "0" : "0." + std::string(places, '0');
    std::string text(buffer.data(), end);

    if (text.front() == '-' &&
        std::all_of(text.begin() + 1, text.end(), [](char c) { return c == '0' || c == '.'; })) {
        text.erase(0, 1);
    }
    return text;
}

std::string CommaToDot(std::string_view text) {
    std::string result(text);
    if (const auto comma = result.find(','); comma != std::string::npos) result[comma] = '.';
    return result;
}

void NormalizeDecimalField(std::string& field) {
    field = CommaToDot(field);
}

double ParseLeadingNumber(std::string_view text) {
    std::string packed;
    packed.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') packed += c;
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < packed.size() && (packed[i] == '+' || packed[i] == '-')) negative = packed[i++] == '-';

    std::string whole;
    std::string fraction;
    bool point = false;
    for (; i < packed.size(); ++i) {
        if (IsDigit(packed[i])) {
            (point ? fraction : whole) += packed[i];
        } else if (packed[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (whole.empty() && fraction.empty()) return 0;

    std::string exponent;
    if (i < packed.size() && (packed[i] == 'e' || packed[i] == 'E')) {
        std::size_t j = i + 1;
        std::string sign;
        if (j < packed.size() && (packed[j] == '+' || packed[j] == '-')) {
            if (packed[j] == '-') sign = "-";
            ++j;
        }
        std::string digits;
        while (j < packed.size() && IsDigit(packed[j])) digits += packed[j++];
        // "1e" or "1e+" end the number before the "e".
        if (!digits.empty()) exponent = "e" + sign + digits;
    }

    const std::string canonical = std::string(negative ? "-" : "") + (whole.empty() ? "0" : whole) +
                                  "." + (fraction.empty() ? "0" : fraction) + exponent;
    return ReadCanonical(canonical).value_or(0.0);
}

std::optional<double> ParseStrictNumber(std::string_view text, const NumberFormat& format) {
    std::string_view trimmed = text;
    while (!trimmed.empty() && IsBlank(trimmed.front())) trimmed.remove_prefix(1);
    while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.remove_suffix(1);

    // The editor's own form: [sign] digits [. digits].
    std::size_t i = 0;
    if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) ++i;
    const std::size_t wholeStart = i;
    while (i < trimmed.size() && IsDigit(trimmed[i])) ++i;
    bool ownForm = i > wholeStart;
    if (ownForm && i < trimmed.size() && trimmed[i] == '.') {
        const std::size_t fractionStart = ++i;
        while (i < trimmed.size() && IsDigit(trimmed[i])) ++i;
        ownForm = i > fractionStart;
    }
    ownForm = ownForm && i == trimmed.size();

    if (ownForm) {
        std::string canonical(trimmed.front() == '+' ? trimmed.substr(1) : trimmed);
        return ReadCanonical(canonical);
    }
    const std::optional<double> value = ParseLocaleNumber(trimmed, format);
    if (value && !std::isfinite(*value)) return std::nullopt;
    return value;
}

}  // namespace quorvel
