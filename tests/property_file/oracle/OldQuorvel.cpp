#include "OldQuorvel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace quorvel::oracle {

namespace {
inline char PlainDecimal(std::string_view decimal) {
    return decimal.size() == 1 && (decimal[0] < '0' || decimal[0] > '9') ? decimal[0] : '\0';
}

// Whether text has the form values almost always have: blanks around, an optional
// sign, digits with at most one decimal byte, no more than 300 digits. True only
// where IsLocaleNumber says yes too (it walks the text in the same order); false
// decides nothing. Inline, for readers that test a value in every line.
inline bool IsPlainNumber(std::string_view text, char decimal) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    std::size_t digits = 0;
    bool inFraction = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == decimal && decimal != '\0' && !inFraction) {
            inFraction = true;
        } else {
            return false;
        }
    }
    return digits > 0 && digits <= 300;
}

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
// overflow nor underflow.
bool ToCanonical(std::string_view text, std::string_view decimal, std::string_view group,
                 std::string* canonical, bool& surelyInRange) {
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
    bool inFraction = false;
    while (i < text.size()) {
        if (IsDigit(text[i])) {
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
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        surelyInRange = false;
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

std::optional<double> ParseLocaleNumber(std::string_view text, std::string_view decimal,
                                        std::string_view group) {
    std::string canonical;
    bool surelyInRange = false;
    if (!ToCanonical(text, decimal, group, &canonical, surelyInRange)) return std::nullopt;
    return FromCanonical(canonical);
}

bool IsLocaleNumber(std::string_view text, std::string_view decimal, std::string_view group) {
    if (IsPlainNumber(text, PlainDecimal(decimal))) return true;
    bool surelyInRange = false;
    if (!ToCanonical(text, decimal, group, nullptr, surelyInRange)) return false;
    return surelyInRange || ParseLocaleNumber(text, decimal, group).has_value();
}

}  // namespace

namespace {

// What a byte means to the tokenizer. The values are bits, so that a loop can
// gather the kinds it passed with one "or" and test them afterwards.
enum Byte : unsigned char {
    Text = 0,     // 32 to 126 but the space and the delimiters
    Space = 1,    // 32: text, but trimmed from both ends of names and values
    Ignored = 2,  // below 32 and above 126: neither text nor separator
    Delimiter = 4,
    Open = Delimiter | 0,
    Close = Delimiter | 1,
    ValueStart = Delimiter | 2,
    ValueEnd = Delimiter | 3,
};

constexpr std::array<Byte, 256> MakeByteTable() {
    std::array<Byte, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[static_cast<std::size_t>(b)] = b >= 32 && b <= 126 ? Text : Ignored;
    table[' '] = Space;
    table['{'] = Open;
    table['}'] = Close;
    table['('] = ValueStart;
    table[')'] = ValueEnd;
    return table;
}
constexpr std::array<Byte, 256> kByteTable = MakeByteTable();

Byte Classify(char c) {
    return kByteTable[static_cast<unsigned char>(c)];
}

// Eight bytes at a time in a plain 64-bit word: the mask has the high bit of each
// byte set where that byte equals c. The sums never carry from one byte into the
// next, so the mask is exact.
using Word = std::uint64_t;
constexpr Word kOnes = 0x0101010101010101;
constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7F;

Word EqualMask(Word word, char c) {
    const Word x = word ^ (kOnes * static_cast<unsigned char>(c));
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// The ")" and "}" in the bytes, a word at a time: a per-byte count in each byte of
// a word, added up every 255 words, before one could overflow.
std::size_t CountClosings(std::string_view bytes) {
    constexpr Word kEvenBytes = 0x00FF00FF00FF00FF;
    std::size_t count = 0;
    const char* at = bytes.data();
    std::size_t words = bytes.size() / sizeof(Word);
    while (words > 0) {
        const std::size_t block = std::min<std::size_t>(words, 255);
        Word counts = 0;
        for (std::size_t i = 0; i < block; ++i, at += sizeof(Word)) {
            Word word;
            std::memcpy(&word, at, sizeof word);
            counts += (EqualMask(word, ')') | EqualMask(word, '}')) >> 7;
        }
        const Word pairs = (counts & kEvenBytes) + ((counts >> 8) & kEvenBytes);
        count += static_cast<std::size_t>((pairs * 0x0001000100010001) >> 48);
        words -= block;
    }
    for (; at != bytes.data() + bytes.size(); ++at) count += *at == ')' || *at == '}';
    return count;
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A finished token. The views point into the bytes or into the tokenizer's buffers
// and hold until the next call; both are trimmed.
struct Token {
    std::string_view name;
    std::string_view value;
    std::int16_t kind = typ::BareName;
};

// Cuts the bytes into tokens. The text collected before a delimiter is all the
// bytes since the previous one, less the ignored bytes. Every use trims it, so the
// spaces and ignored bytes in front are skipped, and the rest stays a view into the
// bytes unless an ignored byte splits it (a line break inside a name): only then is
// it copied.
class Tokenizer {
  public:
    Tokenizer(std::string_view bytes, const NumberFormat& format)
        : bytes_(bytes),
          decimal_(format.DecimalSeparator()),
          group_(format.GroupSeparator()),
          plainDecimal_(PlainDecimal(decimal_)) {}

    // The next finished token; false when the bytes end first (the unfinished
    // token is then dropped).
    bool Next(Token& token) {
        std::string_view name;  // what a "(" took: in the bytes or in name_
        for (;;) {
            bool any = false;  // collected text, maybe spaces only ("{" needs it)
            std::string_view text;
            Byte delimiter = Text;
            if (!Collect(any, text, delimiter)) return false;
            switch (delimiter) {
                case Open:
                    if (!any) break;  // no name: not a group
                    token = {text, {}, typ::GroupOpen};
                    return true;
                case Close:
                    // Text since the "(" is dropped; a name the "(" took stays.
                    token = {name, {}, typ::GroupClose};
                    return true;
                case ValueStart:
                    if (any) {
                        if (text.data() == spilled_.data()) {
                            name_.swap(spilled_);  // spilled_ is free for the value
                            text = name_;
                        }
                        name = text;
                    }
                    break;
                default: {  // ")"
                    // Blanks around a number are allowed, so the trimmed text tells.
                    // The plain form is tested inline first: a value in every line.
                    const bool numeric = IsPlainNumber(text, plainDecimal_) ||
                                         IsLocaleNumber(text, decimal_, group_);
                    token = {name, text, numeric ? typ::Number : typ::Text};
                    return true;
                }
            }
        }
    }

  private:
    // Collects the text up to the next delimiter, trimmed; any tells whether there
    // was text at all. False when the bytes end first.
    bool Collect(bool& any, std::string_view& text, Byte& delimiter) {
        const char* const data = bytes_.data();
        const std::size_t size = bytes_.size();
        std::size_t pos = pos_;
        bool spaces = false;  // spaces in front, skipped
        for (Byte front; pos < size && ((front = Classify(data[pos])) == Space || front == Ignored);
             ++pos)
            spaces |= front == Space;
        const std::size_t start = pos;
        unsigned passed = 0;  // the kinds of the bytes up to the delimiter
        Byte b = Text;
        for (; pos < size && (b = Classify(data[pos])) < Delimiter; ++pos) passed |= b;
        if (pos == size) {
            pos_ = size;
            return false;
        }
        pos_ = pos + 1;
        delimiter = b;
        text = std::string_view(data + start, pos - start);
        any = spaces || !text.empty();
        if ((passed & Ignored) != 0) {  // a line break inside a name, say
            spilled_.clear();
            for (const char c : text)
                if (Classify(c) != Ignored) spilled_.push_back(c);
            spilled_.resize(TrimEnd(spilled_).size());  // whole, as "(" may keep it
            text = spilled_;
        } else {
            text = TrimEnd(text);
        }
        return true;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
    std::string decimal_;
    std::string group_;
    char plainDecimal_;
    std::string name_;
    std::string spilled_;
};

// The number of entries the bytes give, exactly, so the list is sized once: every
// ")" and "}" ends one, and a "{" does when the byte before it, ignored bytes
// skipped, is text (there is collected text since the last delimiter).
std::size_t CountEntries(std::string_view bytes) {
    std::size_t count = CountClosings(bytes);
    for (std::size_t at = bytes.find('{'); at != std::string_view::npos;
         at = bytes.find('{', at + 1)) {
        std::size_t before = at;  // stops at the latest at the "{" before
        while (before > 0 && Classify(bytes[before - 1]) == Ignored) --before;
        if (before > 0 && Classify(bytes[before - 1]) < Ignored) ++count;
    }
    return count;
}

// A large list is filled once, front to back, in memory fresh from the system,
// where every first touch of a 4 KB page faults; in a virtual machine those faults
// cost more than the reading itself. On Linux the whole 2 MB pages inside the
// block are offered huge pages, one fault each, and the 4 KB pages at its two ends
// are faulted in by one call. Only advice: if refused, nothing changes.
void AdviseFreshBlock([[maybe_unused]] const void* block, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kPage = 4 << 10;
    constexpr std::uintptr_t kHugePage = 2 << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end <= begin) return;  // too small to gain anything
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (start + size) & ~(kPage - 1);
    if (begin > first)
        ::madvise(reinterpret_cast<void*>(first), begin - first, MADV_POPULATE_WRITE);
    if (last > end) ::madvise(reinterpret_cast<void*>(end), last - end, MADV_POPULATE_WRITE);
#endif
#endif
}

}  // namespace

void ParseEntries(std::string_view bytes, OldEntries& list, Vehicle& vehicle,
                  const NumberFormat& format) {
    vehicle.GearCount = 0;
    const std::size_t needed = list.size() + CountEntries(bytes);
    if (needed > list.capacity()) {
        list.reserve(std::max(needed, 2 * list.capacity()));
        AdviseFreshBlock(list.data() + list.size(),
                         (list.capacity() - list.size()) * sizeof(OldEntry));
    }
    Tokenizer tokens(bytes, format);
    Token token;
    while (tokens.Next(token)) {
        // Compares the sizes first.
        if (token.name == "Motor") vehicle.HasMotor = true;
        if (token.name == "Gang") ++vehicle.GearCount;
        // Assigned in place: cheaper than building the strings and moving them.
        OldEntry& entry = list.emplace_back();
        entry.Name.assign(token.name);
        entry.Value.assign(token.value);
        entry.Typ = token.kind;
    }
}

namespace {

// Hands the layout to out piece by piece: tabs, then texts. The sizing pass and the
// copying pass share this one description. The depth changes before the entry's
// line is formed and never goes below 0.
template <typename Out>
void Layout(const OldEntries& list, Out& out) {
    std::size_t depth = 0;
    for (const OldEntry& entry : list) {
        if (entry.Typ == typ::GroupClose) {
            if (depth > 0) --depth;
        } else if (entry.Typ == typ::GroupOpen) {
            ++depth;
        }
        if (entry.Typ > 0) {
            out.Tabs(depth);
            out.Put(entry.Name);
            out.Put(" ( ");
            out.Put(entry.Value);
            out.Put(" ) \r\n");
        } else if (entry.Typ == typ::GroupOpen) {
            out.Tabs(depth - 1);
            out.Put(entry.Name);
            out.Put("{\r\n");
        } else if (entry.Typ == typ::GroupClose) {
            out.Tabs(depth);
            out.Put(entry.Name);
            out.Put("}\r\n");
        } else if (!entry.Name.empty()) {
            out.Tabs(depth);
            out.Put(entry.Name);
            out.Put("\r\n");
        }
    }
}

struct Measure {
    std::size_t size = 0;
    void Tabs(std::size_t count) { size += count; }
    void Put(std::string_view text) { size += text.size(); }
};

// Names and values are mostly short, and there a call to memcpy costs more than
// the copy: up to 16 bytes go as two overlapping pieces of fixed length, which
// compile to plain loads and stores.
inline void CopyShort(char* to, const char* from, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0 && n < 4) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else {
        std::memcpy(to, from, n);
    }
}

// The fixed pieces have their length known here, so their copies become plain
// stores. Tabs are stored eight at a time and the position moved by the count: the
// text after them, or the room kSlack left at the end, takes the surplus.
constexpr std::size_t kSlack = 8;

struct Copy {
    char* at;
    void Tabs(std::size_t count) {
        if (count <= kSlack) {
            std::memcpy(at, "\t\t\t\t\t\t\t\t", kSlack);
            at += count;
        } else {
            at = std::fill_n(at, count, '\t');
        }
    }
    void Put(std::string_view text) {
        CopyShort(at, text.data(), text.size());
        at += text.size();
    }
};

}  // namespace

std::string FormatEntries(const OldEntries& list) {
    // Sized first, so a long file is built without growing the text again and again.
    Measure measure;
    Layout(list, measure);
    std::string out(measure.size + kSlack, '\0');
    Copy copy{out.data()};
    Layout(list, copy);
    out.resize(measure.size);
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
