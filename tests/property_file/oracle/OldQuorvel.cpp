#include "OldQuorvel.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace quorvel::oracle {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsIgnored(char c) {  // neither text nor separator
    return static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126;
}
bool StartsWith(std::string_view text, std::size_t at, std::string_view what) {
    return !what.empty() && text.substr(at, what.size()) == what;
}

// Blanks around, an optional sign, digits with group separators only between digits of the
// whole part, at most one decimal separator, an optional exponent; and in range of a double.
bool IsLocaleNumber(std::string_view text, std::string_view decimal, std::string_view group) {
    if (!text.empty() && text.find_first_not_of("0123456789") == text.npos && text.size() <= 300)
        return true;  // the common case, quickly
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    std::string canonical;  // the one form from_chars reads: [-]digits[.digits][e[-]digits]
    std::size_t i = 0, digits = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i++] == '-') canonical += '-';
    }
    for (bool inFraction = false; i < text.size();) {
        if (IsDigit(text[i])) {
            canonical += text[i++];
            ++digits;
        } else if (!inFraction && StartsWith(text, i, decimal)) {
            canonical += '.';
            i += decimal.size();
            inFraction = true;
        } else if (!inFraction && digits > 0 && StartsWith(text, i, group) &&
                   i + group.size() < text.size() && IsDigit(text[i + group.size()])) {
            i += group.size();
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    bool surelyInRange = digits <= 300;  // without an exponent: no overflow, no underflow
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        surelyInRange = false;
        canonical += 'e';
        if (++i < text.size() && (text[i] == '+' || text[i] == '-')) {
            if (text[i++] == '-') canonical += '-';
        }
        const std::size_t first = i;
        while (i < text.size() && IsDigit(text[i])) canonical += text[i++];
        if (i == first) return false;
    }
    if (i != text.size()) return false;
    double value = 0;
    const char* end = canonical.data() + canonical.size();
    const auto [stop, error] = std::from_chars(canonical.data(), end, value);
    return surelyInRange || (error == std::errc{} && stop == end);
}

constexpr bool IsDelimiter(char c) {
    return c == '{' || c == '}' || c == '(' || c == ')';
}

// What a byte is to the reader, as bits so that a loop can gather the kinds it passed.
enum Kind : unsigned char { kText = 1, kSpace = 2, kIgnored = 4, kDelimiter = 8 };
constexpr auto kKinds = [] {
    std::array<unsigned char, 256> kinds{};
    for (std::size_t b = 0; b < 256; ++b)
        kinds[b] = IsIgnored(char(b)) ? kIgnored : IsDelimiter(char(b)) ? kDelimiter : kText;
    kinds[' '] = kSpace;
    return kinds;
}();

// Bytes outside 32..126 are dropped; the text between two delimiters is trimmed of spaces.
// Every ")" and "}" ends an entry, and so does a "{" with text (spaces too) before it. A
// value's kind is given as Text; whether it is a number is left to the caller.
template <typename Entry>
void Scan(std::string_view bytes, Entry entry) {
    std::string name, kept;  // name: what a "(" took since the last entry
    for (std::size_t start = 0, at = 0;; start = ++at) {
        unsigned passed = 0;  // the kinds of the bytes since the last delimiter
        for (; at < bytes.size() && kKinds[static_cast<unsigned char>(bytes[at])] != kDelimiter;
             ++at)
            passed |= kKinds[static_cast<unsigned char>(bytes[at])];
        if (at == bytes.size()) return;  // an unfinished entry is dropped
        std::string_view text = bytes.substr(start, at - start);
        if (passed & kIgnored) {  // a line break inside a name, say
            kept.clear();
            for (const char k : text)
                if (!IsIgnored(k)) kept += k;
            text = kept;
        }
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        const char c = bytes[at];
        const bool any = passed & (kText | kSpace);
        if (c == '(') {
            if (any) name = text;      // a later "(" names again
        } else if (c != '{' || any) {  // "}" drops the text since the "("
            entry(c == '{' ? text : name, c == ')' ? text : std::string_view(),
                  c == '{'   ? typ::GroupOpen
                  : c == '}' ? typ::GroupClose
                             : typ::Text);
            name.clear();
        }
    }
}

}  // namespace

void ParseEntries(std::string_view bytes, OldEntries& list, Vehicle& vehicle,
                  const NumberFormat& format) {
    vehicle.GearCount = 0;
    // The list is sized once, exactly: each ")" and "}" ends an entry, and so does a "{"
    // after text (dropped bytes skipped).
    std::size_t needed = list.size() + std::count_if(bytes.begin(), bytes.end(),
                                                     [](char c) { return c == ')' || c == '}'; });
    for (std::size_t at = bytes.find('{'); at != bytes.npos; at = bytes.find('{', at + 1)) {
        std::size_t before = at;
        while (before > 0 && IsIgnored(bytes[before - 1])) --before;
        needed += before > 0 && !IsDelimiter(bytes[before - 1]);
    }
    if (needed > list.capacity()) list.reserve(std::max(needed, 2 * list.capacity()));
    const std::string decimal = format.DecimalSeparator(), group = format.GroupSeparator();
    Scan(bytes, [&](std::string_view name, std::string_view value, std::int16_t kind) {
        if (name == "Motor") vehicle.HasMotor = true;
        if (name == "Gang") ++vehicle.GearCount;
        OldEntry& e = list.emplace_back();
        e.Name.assign(name);
        e.Value.assign(value);
        e.Typ = kind == typ::Text && IsLocaleNumber(value, decimal, group) ? typ::Number : kind;
    });
}

// Each entry's line, indented by its depth, which changes before the line is formed and
// never goes below 0. Line(tabs, texts...) is called once a line.
template <typename Line>
void Layout(const OldEntries& list, Line line) {
    std::size_t depth = 0;
    for (const OldEntry& e : list) {
        if (e.Typ == typ::GroupClose && depth > 0) {
            --depth;
        } else if (e.Typ == typ::GroupOpen) {
            ++depth;
        }
        if (e.Typ > 0) {
            line(depth, e.Name, " ( ", e.Value, " ) \r\n");
        } else if (e.Typ == typ::GroupOpen || e.Typ == typ::GroupClose) {
            const bool open = e.Typ == typ::GroupOpen;
            line(depth - open, e.Name, open ? "{\r\n" : "}\r\n", "", "");
        } else if (!e.Name.empty()) {
            line(depth, e.Name, "\r\n", "", "");
        }
    }
}

std::string FormatEntries(const OldEntries& list) {
    using V = std::string_view;
    std::size_t size = 0;  // sized first, so a long file is built without growing again
    Layout(list, [&size](std::size_t tabs, V a, V b, V c, V d) {
        size += tabs + a.size() + b.size() + c.size() + d.size();
    });
    std::string out;
    out.reserve(size);
    Layout(list, [&out](std::size_t tabs, V a, V b, V c, V d) {
        out.append(tabs, '\t').append(a).append(b).append(c).append(d);
    });
    return out;
}

OldEntries ToOld(const Entries& list) {
    OldEntries out;
    for (const C_Name_Val& e : list)
        out.push_back({std::string(e.Name), std::string(e.Value), e.Typ});
    return out;
}

Entries FromOld(const OldEntries& list) {
    Entries out;
    for (const OldEntry& e : list) out.push_back({e.Name, e.Value, e.Typ});
    return out;
}

}  // namespace quorvel::oracle
