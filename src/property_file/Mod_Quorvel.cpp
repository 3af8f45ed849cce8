#include "Mod_Quorvel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "LocaleNumber.h"
#include "Mod_Datei.h"
#include "Texts.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quorvel {

namespace {

// What a byte means to the tokenizer.
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

bool Blank(Byte b) {
    return b == Space || b == Ignored;
}

// The places of the lowest set bit and one past the highest of a word that is not 0:
// std::countr_zero and std::bit_width test for 0 first, on every token.
inline int LowestBit(std::uint64_t word) {
#ifdef __GNUC__
    return __builtin_ctzll(word);
#else
    return std::countr_zero(word);
#endif
}
inline int BitWidth(std::uint64_t word) {
#ifdef __GNUC__
    return 64 - __builtin_clzll(word);
#else
    return std::bit_width(word);
#endif
}

// The bytes the tokenizer reads are followed by this many ")": every scan ends at a
// delimiter without testing for the end, and a 64-byte look never leaves the block.
constexpr std::size_t kPad = 64;

// What the 64 bytes at a place are, a bit each: delimiters, blanks (spaces and
// ignored bytes) and spaces.
struct Look {
    std::uint64_t delimiters = 0;
    std::uint64_t blanks = 0;
    std::uint64_t spaces = 0;
};

// Fills look in place: a returned copy would be read back before its stores finish.
inline void Look64(const char* p, Look& look) {
    look = {};
#ifdef __SSE2__
    const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
    const __m128i start = _mm_set1_epi8('('), end = _mm_set1_epi8(')');
    const __m128i aboveSpace = _mm_set1_epi8(' ' + 1), space = _mm_set1_epi8(' ');
    const __m128i del = _mm_set1_epi8(127);
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i delimiters =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, start), _mm_cmpeq_epi8(v, end)));
        // Signed: bytes above 127 count as negative, so below the space.
        const __m128i blanks = _mm_or_si128(_mm_cmplt_epi8(v, aboveSpace), _mm_cmpeq_epi8(v, del));
        const auto bits = [](__m128i mask) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
        };
        const int shift = 16 * part;
        look.delimiters |= bits(delimiters) << shift;
        look.blanks |= bits(blanks) << shift;
        look.spaces |= bits(_mm_cmpeq_epi8(v, space)) << shift;
    }
#else
    for (int i = 0; i < 64; ++i) {
        const Byte b = Classify(p[i]);
        look.delimiters |= std::uint64_t{b >= Delimiter} << i;
        look.blanks |= std::uint64_t{Blank(b)} << i;
        look.spaces |= std::uint64_t{b == Space} << i;
    }
#endif
}

// The first delimiter at or after p, 64 bytes a look; firstIgnored is set to the
// first ignored byte before it, when there is one and firstIgnored was still null.
// For texts too long for one look.
const char* FindDelimiter(const char* p, const char*& firstIgnored) {
    for (Look look;; p += 64) {
        Look64(p, look);
        const std::uint64_t found = look.delimiters;
        const std::uint64_t before = found == 0 ? ~std::uint64_t{0} : (found & (0 - found)) - 1;
        const std::uint64_t ignored = look.blanks & ~look.spaces & before;
        if (ignored != 0 && firstIgnored == nullptr) firstIgnored = p + std::countr_zero(ignored);
        if (found != 0) return p + std::countr_zero(found);
    }
}

// What the tokenizer needs of the 64 bytes at a place for most tokens, a bit each:
// delimiters and blanks. Spaces and ignored bytes are told apart only for the rare
// text that has a blank inside or none at all.
struct LeanLook {
    std::uint64_t delimiters = 0;
    std::uint64_t blanks = 0;
};

inline void LookLean(const char* p, LeanLook& look) {
#ifdef __SSE2__
    const __m128i parens = _mm_set1_epi8(')'), open = _mm_set1_epi8('{'),
                  close = _mm_set1_epi8('}'), one = _mm_set1_epi8(1),
                  blankBelow = _mm_set1_epi8(' ' + 2);
    const auto bits = [](__m128i mask) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
    };
    std::uint64_t delimiters = 0, blanks = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        // "(" and ")" differ only in the lowest bit.
        const __m128i found =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, one), parens),
                         _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
        // One added, signed: 127 and the bytes above it wrap to -128 ... 0, the bytes
        // up to the space become 1 ... 33; all of them, and only they, stay below 34.
        const __m128i blank = _mm_cmplt_epi8(_mm_add_epi8(v, one), blankBelow);
        delimiters |= bits(found) << (16 * part);
        blanks |= bits(blank) << (16 * part);
    }
    look.delimiters = delimiters;
    look.blanks = blanks;
#else
    Look full;
    Look64(p, full);
    look.delimiters = full.delimiters;
    look.blanks = full.blanks;
#endif
}

// The spaces among the 64 bytes at p, a bit each: for a text with blanks inside, which
// is copied only when one of them is not a space.
inline std::uint64_t Spaces(const char* p) {
#ifdef __SSE2__
    std::uint64_t spaces = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        spaces |= static_cast<std::uint64_t>(static_cast<unsigned>(
                      _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))))
                  << (16 * part);
    }
    return spaces;
#else
    Look look;
    Look64(p, look);
    return look.spaces;
#endif
}

// Whether the bytes from begin to end hold a byte of that kind.
bool Holds(const char* begin, const char* end, Byte kind) {
    for (; begin != end; ++begin)
        if (Classify(*begin) == kind) return true;
    return false;
}

// Tells numbers among value texts (trimmed) in the user's format.
class NumberTest {
  public:
    explicit NumberTest(const NumberFormat& format)
        : decimal_(format.DecimalSeparator()),
          group_(format.GroupSeparator()),
          plainDecimal_(PlainDecimal(decimal_)),
          plainGroup_(PlainGroup(group_, plainDecimal_))
#ifdef __SSE2__
          ,
          decimals_(_mm_set1_epi8(plainDecimal_)),
          groups_(_mm_set1_epi8(plainGroup_))
#endif
    {
    }

    // Whether a text of 0 to 63 bytes in a block that goes on for 16 more (as a text in
    // the padded bytes does) has the plain form of a number, IsPlainNumber's rules for up
    // to 16 bytes, by one 16-byte look: every byte a digit, the decimal or a grouping
    // byte, or a sign in front; at most one decimal; a grouping byte only after a digit,
    // before the decimal and followed by a digit. False for an empty text and beyond 16
    // bytes.
    bool Short(const char* p, std::size_t size) const {
#ifdef __SSE2__
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto bits = [](__m128i mask) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(mask)));
        };
        const std::uint64_t all = (std::uint64_t{1} << size) - 1;
        // Shifted so that "0" ... "9" become the ten lowest signed bytes. A decimal or
        // grouping byte of '\0' (none plain) matches nothing: a text holds no NUL.
        const __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(128 - '0')));
        const std::uint64_t digits =
            bits(_mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(-128 + 10)))) & all;
        const std::uint64_t point = bits(_mm_cmpeq_epi8(v, decimals_)) & all;
        // Most values: digits and at most one decimal.
        if ((digits | point) == all && digits != 0 && (point & (point - 1)) == 0) return true;
        const std::uint64_t sign = static_cast<std::uint64_t>(p[0] == '+' || p[0] == '-');
        const std::uint64_t decimals = point & ~sign;
        const std::uint64_t groups = bits(_mm_cmpeq_epi8(v, groups_)) & all & ~sign;
        if ((digits | decimals | groups | sign) != all || digits == 0 ||
            (decimals & (decimals - 1)) != 0)
            return false;
        if (groups == 0) return true;
        return ((groups << 1) & ~digits) == 0 &&
               (decimals == 0 || (groups & ~(decimals - 1)) == 0) &&
               std::countr_zero(digits) < std::countr_zero(groups);
#else
        return size <= 16 && IsPlainNumber({p, size}, plainDecimal_, plainGroup_);
#endif
    }
    // Any text. A number starts with a sign, a digit or the decimal separator, which
    // turns most texts away at their first byte.
    bool operator()(std::string_view text) const {
        if (text.empty()) return false;
        const char c = text.front();
        if (c != '+' && c != '-' && (c < '0' || c > '9') && (decimal_.empty() || c != decimal_[0]))
            return false;
        return IsLocaleNumber(text, decimal_, group_);
    }

  private:
    std::string decimal_;
    std::string group_;
    char plainDecimal_;
    char plainGroup_;
#ifdef __SSE2__
    __m128i decimals_;  // plainDecimal_ in every byte
    __m128i groups_;
#endif
};

// Cuts the bytes into entries, delimiter by delimiter. The text collected before a
// delimiter is all the bytes since the previous one, less the ignored bytes; it is
// trimmed of the blanks at both ends, and stays a place in the bytes unless an ignored
// byte splits it (a line break inside a name): only then is it copied.
//
// Most texts end within the 64 bytes last looked at: their place is read off the look's
// bits, and a finished token goes straight into the list's next slot. The walk's state
// stays in locals of one function, so that it lives in registers; what is rare (a text
// longer than a look, a copied text) takes the slower way through Step.
class Walker {
  public:
    // bytes must be followed by kPad bytes of ")".
    Walker(const char* bytes, std::size_t size, const NumberFormat& format)
        : begin_(bytes), end_(bytes + size), numbers_(format) {}

    // Appends the entries to the list, which has adopted the bytes.
    void Run(Entries& list, Vehicle& vehicle) {
        Entries::Tail tail(list);
        const char* const begin = begin_;
        const char* at = begin;  // after the last delimiter
        const char* base = begin;
        LeanLook look;
        LookLean(base, look);
        std::uint64_t ahead = look.delimiters;   // delimiters not yet taken
        std::uint64_t from = ~std::uint64_t{0};  // the bits from at on
        // The name a "(" took, in the bytes (unless held_: then in held_name_).
        const char* nameAt = begin;
        std::uint32_t nameSize = 0;
        bool motor = false;
        std::uint32_t gears = 0;
        for (;;) {
            const char* p;
            std::string_view text;
            bool any;
            if (ahead == 0) {
                base = at;
                LookLean(base, look);
                ahead = look.delimiters;
                from = ~std::uint64_t{0};
                if (ahead == 0) {
                    p = Long(at, text, any);  // a text longer than one look
                    if (p >= end_) break;
                    at = p + 1;
                    goto slow;
                }
            }
            {
                const std::uint64_t low = ahead & (0 - ahead);
                p = base + LowestBit(ahead);
                if (p >= end_) break;
                const std::uint64_t range = (low - 1) & from;
                const std::uint64_t texts = range & ~look.blanks;
                // Whether there was text at all, spaces only included: asked by "{" and "(".
                const auto collected = [&] {
                    return texts != 0 || Holds(p - std::popcount(range), p, Space);
                };
                ahead &= ahead - 1;
                from = ~((low << 1) - 1);
                at = p + 1;
                const int first = LowestBit(texts | low);
                const char* const start = base + first;
                const auto size =
                    static_cast<std::uint32_t>(texts == 0 ? 0 : BitWidth(texts) - first);
                text = {start, size};
                // A blank between text bytes: the texts' bits are not one run.
                if (((texts + (texts & (0 - texts))) & texts) != 0 &&
                    (look.blanks & ~Spaces(base) & (((std::uint64_t{1} << size) - 1) << first)) !=
                        0) {
                    text = Spill(text);
                    any = true;
                    goto slow;
                }
                if (held_) {
                    any = collected();
                    goto slow;
                }
                const auto emit = [&](const char* name, std::uint32_t named, const char* value,
                                      std::uint32_t valueSize, std::uint32_t code) {
                    // "Motor" or "Gang", read 8 bytes at a time (little-endian: the
                    // name's first byte is the word's lowest).
                    if (named - 4 <= 1) {  // few names are that short
                        std::uint64_t word;
                        std::memcpy(&word, name, sizeof word);
                        motor |= (named == 5) & ((word & 0xFFFFFFFFFFull) == 0x726F746F4Dull);
                        gears += (named == 4) & ((word & 0xFFFFFFFFull) == 0x676E6147ull);
                    }
                    tail.Put(static_cast<std::uint32_t>(name - begin), named,
                             static_cast<std::uint32_t>(value - begin), valueSize, code);
                    nameSize = 0;  // a finished token leaves no name
                };
                switch (*p) {
                    case '(': {
                        if (!collected()) break;
                        nameAt = start;
                        nameSize = size;
                        // Most values end in the same look, with no blank inside: the
                        // ")" is taken at once.
                        if (ahead == 0) break;
                        const char* const q = base + LowestBit(ahead);
                        if (*q != ')' || q >= end_) break;
                        const std::uint64_t next = ahead & (0 - ahead);
                        const std::uint64_t values = (next - 1) & from & ~look.blanks;
                        if (((values + (values & (0 - values))) & values) != 0) break;
                        const int valueFirst = LowestBit(values | next);
                        const auto valueSize = static_cast<std::uint32_t>(
                            values == 0 ? 0 : BitWidth(values) - valueFirst);
                        const char* const value = base + valueFirst;
                        ahead &= ahead - 1;
                        from = ~((next << 1) - 1);
                        at = q + 1;
                        const bool numeric = numbers_.Short(value, valueSize) ||
                                             numbers_(std::string_view(value, valueSize));
                        emit(start, size, value, valueSize,
                             numeric ? Entries::Tail::kNumber : Entries::Tail::kText);
                        break;
                    }
                    case ')': {
                        const bool numeric = numbers_.Short(start, size) || numbers_(text);
                        emit(nameAt, nameSize, start, size,
                             numeric ? Entries::Tail::kNumber : Entries::Tail::kText);
                        break;
                    }
                    case '{':
                        if (collected()) emit(start, size, start, 0, Entries::Tail::kOpen);
                        break;
                    default:  // "}"
                        emit(nameAt, nameSize, start, 0, Entries::Tail::kClose);
                }
                continue;
            }
        slow:
            // A text copied out of the bytes, or a name held: the entry is copied.
            name_ = {nameAt, nameSize};
            if (Step(*p, text, any)) {
                motor |= token_.Name == "Motor";
                gears += token_.Name == "Gang";
                tail.Push(token_);
            }
            // The fast steps read 8 bytes at nameAt, whatever its size.
            nameAt = held_ || name_.empty() ? begin : name_.data();
            nameSize = held_ ? 0 : static_cast<std::uint32_t>(name_.size());
        }
        vehicle.HasMotor |= motor;
        vehicle.GearCount = static_cast<std::int32_t>(gears);
    }

  private:
    // The delimiter's step for texts that may stand in the buffers, with the name a "("
    // took in name_ (in held_name_ when held_); true when it finished token_.
    bool Step(char c, std::string_view text, bool any) {
        const std::string_view name = held_ ? std::string_view(held_name_) : name_;
        bool done = true;
        switch (c) {
            case '{':
                done = any;
                token_ = {text, {}, typ::GroupOpen};
                break;
            case '}':
                // Text since the "(" is dropped; a name the "(" took stays.
                token_ = {name, {}, typ::GroupClose};
                break;
            case '(':
                done = false;
                if (!any) break;
                held_ = !spilled_.empty() && text.data() == spilled_.data();
                if (held_) {
                    held_name_.swap(spilled_);  // spilled_ is free for the value
                } else {
                    name_ = text;
                }
                break;
            default:  // ")"
                token_ = {name, text, numbers_(text) ? typ::Number : typ::Text};
        }
        if (done) {
            held_ = false;  // token_ views held_name_ until the next step
            name_ = {};
        }
        return done;
    }

    // Collects a text longer than one look, from at up to the next delimiter, trimmed;
    // any tells whether there was text at all. The delimiter's place, end_ or beyond
    // when the bytes end first.
    const char* Long(const char* at, std::string_view& text, bool& any) {
        const char* p = at;
        bool spaces = false;  // spaces in front, skipped
        for (Byte b; Blank(b = Classify(*p)); ++p) spaces |= b == Space;
        const char* const start = p;
        const char* firstIgnored = nullptr;
        p = FindDelimiter(p, firstIgnored);
        if (p >= end_) return p;
        const char* const delimiter = p;
        while (p > start && Blank(Classify(p[-1]))) --p;
        any = spaces || p > start;
        text = std::string_view(start, static_cast<std::size_t>(p - start));
        if (firstIgnored != nullptr && firstIgnored < p) text = Spill(text);
        return delimiter;
    }

    // The text without its ignored bytes (a line break inside a name, say), in spilled_.
    std::string_view Spill(std::string_view text) {
        spilled_.clear();
        for (const char c : text)
            if (Classify(c) != Ignored) spilled_.push_back(c);
        return spilled_;
    }

    const char* begin_;
    const char* end_;
    NumberTest numbers_;
    C_Name_Val token_;
    std::string_view name_;  // the name a "(" took, in the bytes
    bool held_ = false;      // the name a "(" took is in held_name_ instead
    std::string held_name_;
    std::string spilled_;
};

// The host's files hold about one entry per 20 bytes (a short name and a number on
// a line). Room for that many is made at once: a typical file's entries then sit in
// one block, with little room left over.
constexpr std::size_t kBytesPerEntry = 20;

// A file's bytes, the padding, then room for the slots of its entries, in one block:
// one allocation a read, and memory the allocator keeps for the next read rather
// than giving two blocks back and taking them again.
struct ReadBlock {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;      // the file's bytes read so far
    std::size_t capacity = 0;  // bytes that fit before the padding
    std::size_t room = 0;      // bytes for slots behind the padding

    // Room for capacity bytes and as many entries as that many bytes usually hold.
    explicit ReadBlock(std::size_t bytes)
        : data(new char[Allocated(bytes)]),
          capacity(bytes),
          room(Entries::RoomFor(bytes / kBytesPerEntry)) {}
    // What a block for capacity bytes allocates.
    static std::size_t Allocated(std::size_t capacity) {
        return capacity + kPad + Entries::RoomFor(capacity / kBytesPerEntry);
    }
    char* Room() const { return data.get() + capacity + kPad; }
    void Pad() { std::memset(data.get() + size, ')', kPad); }
};

// The entries address their text with 31 bits.
constexpr std::size_t kMaxFile = 0x7FFFFFFF;

// What a file's entries take beyond the room its read block makes for them: an upper
// bound on the entries (one a "{", "}" or ")") and on the bytes of texts that an
// ignored byte splits (a line break inside a name), which are copied.
struct Shape {
    std::uint64_t entries = 0;
    std::uint64_t split = 0;
};

// One pass over the bytes, only for a file whose worst case might not fit.
Shape ShapeOf(std::string_view bytes) {
    Shape shape;
    std::size_t start = 0;  // of the text since the last delimiter
    bool text = false, gap = false, split = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        switch (Classify(bytes[i])) {
            case Text:
                split |= gap;
                text = true;
                break;
            case Ignored:
                gap |= text;
                break;
            case Space:
                break;
            default:
                ++shape.entries;
                if (split) shape.split += i - start;
                start = i + 1;
                text = gap = split = false;
        }
    }
    return shape;
}

// The memory beyond the read block that entries of that shape take: further blocks of
// slots (up to 65,536 each, the last partly empty) and the split texts, held up to five
// times over (the list's own text as it grows, the walker's two buffers).
std::uint64_t ExtraNeed(Shape shape, std::uint64_t roomEntries) {
    const std::uint64_t slots = shape.entries > roomEntries ? shape.entries - roomEntries : 0;
    const std::uint64_t blocks = slots == 0 ? 0 : (65536 + slots / 1024 + 1) * Entries::kEntrySize;
    return slots * Entries::kEntrySize + blocks + 5 * shape.split;
}

// Parses the block's bytes (padded) into the list. The list takes the bytes as its
// text and the room for its slots when it has no text yet; otherwise the entries are
// read into a list of their own and copied over.
void ParseOwned(ReadBlock block, Entries& list, Vehicle& vehicle, const NumberFormat& format) {
    vehicle.GearCount = 0;
    char* const room = block.Room();
    const std::size_t size = block.size;
    const std::shared_ptr<const char[]> bytes(std::move(block.data));
    if (!list.AdoptText(bytes, size, room, block.room)) {
        Entries own;
        own.AdoptText(bytes, size, room, block.room);
        Walker(bytes.get(), size, format).Run(own, vehicle);
        own.ForEach([&list](const C_Name_Val& entry) { list.push_back(entry); });
        return;
    }
    list.Reserve(size / kBytesPerEntry);
    Walker(bytes.get(), size, format).Run(list, vehicle);
}

// The whole remaining file in a block with the padding; empty on a read error (errno
// or GetLastError tells it). The size is only a hint.
std::optional<ReadBlock> ReadPadded(std::FILE* file, std::size_t hint) {
    // One byte beyond the expected size, so the end shows on the first read.
    ReadBlock block(std::max<std::size_t>(hint + 1, 4096));
    for (;;) {
        const std::size_t wanted = block.capacity - block.size;
        bool failed = false;
        const std::size_t got = ReadBytes(file, block.data.get() + block.size, wanted, failed);
        block.size += got;
        if (failed) return std::nullopt;
        if (got < wanted) break;
        ReadBlock larger(block.capacity * 2);
        std::memcpy(larger.data.get(), block.data.get(), block.size);
        larger.size = block.size;
        block = std::move(larger);
    }
    block.Pad();
    return block;
}

}  // namespace

void ParseEntries(std::string_view bytes, Entries& list, Vehicle& vehicle,
                  const NumberFormat& format) {
    ReadBlock block(bytes.size());
    if (!bytes.empty()) std::memcpy(block.data.get(), bytes.data(), bytes.size());
    block.size = bytes.size();
    block.Pad();
    ParseOwned(std::move(block), list, vehicle, format);
}

namespace {

// The refusal when a file could not be read after all: memory ran out while reading
// (outOfMemory), or the file is beyond the 2 GB the entries can address.
void TellTooLarge(const std::string& path, bool outOfMemory, MessageSink& sink) {
    sink.ShowMessage(kAppTitle, texts::TooLargeReading(path, outOfMemory),
                     MessageIcon::Exclamation);
}

}  // namespace

bool ReadEntries(const std::string& path, Entries& list, Vehicle& vehicle,
                 const NumberFormat& format, MessageSink& sink, ReadGuard* guard,
                 std::string_view* bytesRead) {
    // On any failure GearCount keeps its value: the caller shows no entries then.
    std::optional<ReadBlock> block;
    try {
        {
            std::optional<DataFile> file = OpenDataFile(path, sink, "r");
            if (!file) return false;
            const std::size_t hint = OpenFileSize(file->get());
            if (hint > kMaxFile) {
                TellTooLarge(path, false, sink);
                return false;
            }
            // The block first; the shape of the bytes is measured only when the worst
            // a file of this size can need (one entry a byte) might not fit.
            const std::size_t capacity = std::max<std::size_t>(hint + 1, 4096);
            const std::uint64_t first = ReadBlock::Allocated(capacity);
            const std::uint64_t worst = first + ExtraNeed({hint, hint}, capacity / kBytesPerEntry);
            bool measure = false;
            if (guard != nullptr) {
                if (!guard->Fits(first, 0, worst)) return false;
                measure = guard->MayNotFit(worst);
            }
            block = ReadPadded(file->get(), hint);
            if (!block) {
                ShowFileError(sink, texts::kReadFailed, path, LastSystemError());
                return false;
            }
            if (measure) {
                const std::uint64_t taken = ReadBlock::Allocated(block->capacity);
                const Shape shape = ShapeOf({block->data.get(), block->size});
                const std::uint64_t extra = ExtraNeed(shape, block->capacity / kBytesPerEntry);
                if (!guard->Fits(taken + extra, taken, 0)) return false;
            }
            if (guard != nullptr && !guard->Read(file->get(), {block->data.get(), block->size}))
                return false;
        }  // closed before the entries are built
        if (bytesRead != nullptr) *bytesRead = std::string_view(block->data.get(), block->size);
        ParseOwned(std::move(*block), list, vehicle, format);
    } catch (const std::bad_alloc&) {
        TellTooLarge(path, true, sink);  // the list may hold the part read so far
        return false;
    } catch (const std::length_error&) {
        TellTooLarge(path, false, sink);
        return false;
    }
    return true;
}

namespace {

// Names and values are mostly short, and there a call to memcpy costs more than
// the copy: up to 16 bytes go as two overlapping pieces of fixed length, which
// compile to plain loads and stores.
inline void CopyShort(char* to, const char* from, std::size_t n) {
    if (n > 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0) {  // an empty text may have no bytes at all
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

// The block the layout is formed in, handed on whenever it is full. It has kSlack
// bytes beyond the chunk, so that the fast lines store their tabs eight at a time.
constexpr std::size_t kSlack = 8;
constexpr char kTabs[] = "\t\t\t\t\t\t\t\t";

// The common lines: values, and groups opened and closed within, at a depth of up to
// kSlack, when they fit in the block. Each is stored at once, on a position that
// is a plain value rather than a member: a store through a char pointer could change
// any member, which would then be read again after every piece. False leaves the
// entry, with the state unchanged, to ChunkWriter::Line.
struct FastLines {
    char* at;
    const char* limit;
    std::size_t depth = 0;

    bool operator()(const C_Name_Val& entry) {
        std::size_t tabs = depth;
        if (entry.Typ > 0) {
            const std::size_t size = entry.Name.size() + entry.Value.size() + 8;
            if (tabs > kSlack || tabs + size > static_cast<std::size_t>(limit - at)) return false;
            char* to = Start(tabs, entry.Name);
            std::memcpy(to, " ( ", 3);
            CopyShort(to + 3, entry.Value.data(), entry.Value.size());
            to += 3 + entry.Value.size();
            std::memcpy(to, " ) \r\n", 5);
            at = to + 5;
            return true;
        }
        const char* end;
        if (entry.Typ == typ::GroupOpen) {
            end = "{\r\n";
        } else if (entry.Typ == typ::GroupClose && tabs > 0) {
            end = "}\r\n";
            --tabs;
        } else {
            return false;
        }
        if (tabs > kSlack || tabs + entry.Name.size() + 3 > static_cast<std::size_t>(limit - at))
            return false;
        char* const to = Start(tabs, entry.Name);
        std::memcpy(to, end, 3);
        at = to + 3;
        depth = entry.Typ == typ::GroupOpen ? depth + 1 : tabs;
        return true;
    }
    // The tabs and the name; the place after them.
    char* Start(std::size_t tabs, std::string_view name) const {
        std::memcpy(at, kTabs, kSlack);
        CopyShort(at + tabs, name.data(), name.size());
        return at + tabs + name.size();
    }
};

class ChunkWriter {
  public:
    ChunkWriter(const ChunkSink& sink, std::size_t chunk)
        : sink_(sink), chunk_(chunk), block_(new char[chunk + kSlack]) {}

    char* Begin() const { return block_.get(); }
    const char* Limit() const { return block_.get() + chunk_; }
    int error() const { return error_; }

    // Any entry's line at at, piece by piece, handing on every full block: deep lines,
    // long texts, bare names. The depth changes before the line is formed and never
    // goes below 0; an opening stands at the depth outside its group; a bare name
    // without text makes no line. The position after it.
    char* Line(char* at, std::size_t& depth, const C_Name_Val& entry) {
        if (entry.Typ == typ::GroupClose && depth > 0) --depth;
        const std::size_t tabs = entry.Typ == typ::GroupOpen ? depth++ : depth;
        if (entry.Typ > 0) {
            at = Put(Put(Put(Put(at, tabs, entry.Name), 0, " ( "), 0, entry.Value), 0, " ) \r\n");
        } else if (entry.Typ == typ::GroupOpen) {
            at = Put(Put(at, tabs, entry.Name), 0, "{\r\n");
        } else if (entry.Typ == typ::GroupClose) {
            at = Put(Put(at, tabs, entry.Name), 0, "}\r\n");
        } else if (!entry.Name.empty()) {
            at = Put(Put(at, tabs, entry.Name), 0, "\r\n");
        }
        return at;
    }
    // Hands on what stands before at, unless the sink has failed before.
    void Flush(const char* at) {
        if (at != block_.get() && error_ == 0)
            error_ =
                sink_(std::string_view(block_.get(), static_cast<std::size_t>(at - block_.get())));
    }

  private:
    // Tabs, then the text. After a failure of the sink nothing is stored.
    char* Put(char* at, std::size_t tabs, std::string_view text) {
        while (error_ == 0) {
            const auto room = static_cast<std::size_t>(Limit() - at);
            if (room == 0) {
                Flush(at);
                at = block_.get();
            } else if (tabs > 0) {
                const std::size_t part = std::min(tabs, room);
                at = std::fill_n(at, part, '\t');
                tabs -= part;
            } else if (!text.empty()) {
                const std::size_t part = std::min(text.size(), room);
                std::memcpy(at, text.data(), part);
                at += part;
                text.remove_prefix(part);
            } else {
                break;
            }
        }
        return at;
    }

    const ChunkSink& sink_;
    std::size_t chunk_;
    std::unique_ptr<char[]> block_;
    int error_ = 0;
};

}  // namespace

int StreamEntries(const Entries& list, const ChunkSink& sink) {
    const std::size_t text = list.TextSize();
    ChunkWriter writer(sink, std::clamp<std::size_t>(text + text / 8, 64 << 10, kWriteChunk));
    FastLines lines{writer.Begin(), writer.Limit()};
    list.ForEach(lines, [&lines, &writer](const C_Name_Val& entry) {
        lines.at = writer.Line(lines.at, lines.depth, entry);
    });
    writer.Flush(lines.at);
    return writer.error();
}

std::string FormatEntries(const Entries& list) {
    std::string out;
    StreamEntries(list, [&out](std::string_view chunk) {
        out.append(chunk);
        return 0;
    });
    return out;
}

bool WriteEntries(const std::string& path, const Entries& list) {
    // A NUL would cut the path and write some other file.
    if (path.find('\0') != std::string::npos) return false;
    try {
        // Binary, so the CR LF line ends stay exactly as formatted.
        std::ofstream out(PathFromText(path), std::ios::binary | std::ios::trunc);
        if (!out) return false;
        const int error = StreamEntries(list, [&out](std::string_view chunk) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            return out ? 0 : EIO;
        });
        out.close();
        return error == 0 && !out.fail();
    } catch (...) {
        return false;
    }
}

std::uint64_t FormattedSize(const Entries& list) {
    // The same rules as the layout: the depth changes first, never below 0; an opening
    // stands at the depth outside its group; a bare name without text writes nothing.
    std::uint64_t size = 0, depth = 0;
    for (const C_Name_Val& entry : list) {
        if (entry.Typ == typ::GroupClose) {
            if (depth > 0) --depth;
        } else if (entry.Typ == typ::GroupOpen) {
            ++depth;
        }
        if (entry.Typ > 0) {
            size += depth + entry.Name.size() + entry.Value.size() + 8;  // " ( ", " ) ", CR LF
        } else if (entry.Typ == typ::GroupOpen || entry.Typ == typ::GroupClose) {
            size += depth - (entry.Typ == typ::GroupOpen) + entry.Name.size() + 3;  // brace, CR LF
        } else if (!entry.Name.empty()) {
            size += depth + entry.Name.size() + 2;
        }
    }
    return size;
}

}  // namespace quorvel
