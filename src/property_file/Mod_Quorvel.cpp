#include "Mod_Quorvel.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "LocaleNumber.h"
#include "Mod_Datei.h"

namespace quorvel {

namespace {

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// What a byte means to the tokenizer.
enum class Byte : unsigned char { Ignored, Text, Open, Close, ValueStart, ValueEnd };

constexpr std::array<Byte, 256> MakeByteTable() {
    std::array<Byte, 256> table{};
    for (int b = 32; b <= 126; ++b) table[static_cast<std::size_t>(b)] = Byte::Text;
    table['{'] = Byte::Open;
    table['}'] = Byte::Close;
    table['('] = Byte::ValueStart;
    table[')'] = Byte::ValueEnd;
    return table;
}
constexpr std::array<Byte, 256> kByteTable = MakeByteTable();

Byte Classify(char c) {
    return kByteTable[static_cast<unsigned char>(c)];
}

// Cuts the bytes into tokens. Text is taken as views into the bytes while it is
// contiguous; only text split by ignored bytes is copied into a buffer.
class Tokenizer {
  public:
    Tokenizer(std::string_view bytes, const NumberFormat& format)
        : bytes_(bytes), decimal_(format.DecimalSeparator()), group_(format.GroupSeparator()) {}

    // Fills entry with the next finished token; false when the bytes end first
    // (the unfinished token is then dropped).
    bool Next(C_Name_Val& entry) {
        const char* const data = bytes_.data();
        const std::size_t size = bytes_.size();
        std::size_t pos = pos_;
        std::size_t runStart = pos;  // contiguous text not yet in spilled_
        bool spilled = false;        // spilled_ holds the front of the collected text
        std::string_view name;       // what a "(" took: in the bytes or in name_
        for (;;) {
            while (pos < size && Classify(data[pos]) == Byte::Text) ++pos;
            if (pos == size) {
                pos_ = pos;
                return false;
            }
            const Byte byte = Classify(data[pos]);
            if (byte == Byte::Ignored) {  // neither text nor separator
                if (pos > runStart) {
                    if (!spilled) spilled_.clear();
                    spilled_.append(data + runStart, pos - runStart);
                    spilled = true;
                }
                runStart = ++pos;
                continue;
            }
            std::string_view collected(data + runStart, pos - runStart);
            if (spilled) {
                spilled_.append(collected);
                collected = spilled_;
            }
            runStart = ++pos;
            switch (byte) {
                case Byte::Open:
                    if (!collected.empty())
                        return Finish(entry, pos, collected, {}, typ::GroupOpen);
                    break;  // no name: not a group
                case Byte::Close:
                    // Text since the "(" is dropped; a name the "(" took stays.
                    return Finish(entry, pos, name, {}, typ::GroupClose);
                case Byte::ValueStart:
                    if (spilled) {
                        if (!collected.empty()) name_.swap(spilled_);
                        name = name_;
                    } else if (!collected.empty()) {
                        name = collected;
                    }
                    break;
                default: {  // ")"
                    // Tested before trimming: blanks around a number are allowed.
                    const bool numeric = IsLocaleNumber(collected, decimal_, group_);
                    return Finish(entry, pos, name, collected, numeric ? typ::Number : typ::Text);
                }
            }
            spilled = false;
        }
    }

  private:
    bool Finish(C_Name_Val& entry, std::size_t pos, std::string_view name, std::string_view value,
                std::int16_t kind) {
        pos_ = pos;
        entry.Name.assign(TrimSpaces(name));
        entry.Value.assign(TrimSpaces(value));
        entry.Typ = kind;
        return true;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
    std::string decimal_;
    std::string group_;
    std::string name_;
    std::string spilled_;
};

// Counts the delimiters; with textBefore only those right after a text byte.
std::size_t Count(std::string_view bytes, char delimiter, bool textBefore) {
    std::size_t count = 0;
    // find() runs on the C library's vectorised search.
    for (std::size_t at = bytes.find(delimiter); at != std::string_view::npos;
         at = bytes.find(delimiter, at + 1)) {
        if (!textBefore || (at > 0 && Classify(bytes[at - 1]) == Byte::Text)) ++count;
    }
    return count;
}

// "}" and ")" always end an entry, "{" does when text stands right before it. The
// sum never exceeds the entries (a file of "{" alone reserves nothing) and is exact
// for the written layout.
std::size_t ExpectedEntries(std::string_view bytes) {
    return Count(bytes, '{', true) + Count(bytes, '}', false) + Count(bytes, ')', false);
}

}  // namespace

void ParseEntries(std::string_view bytes, Entries& list, Vehicle& vehicle,
                  const NumberFormat& format) {
    vehicle.GearCount = 0;
    const std::size_t needed = list.size() + ExpectedEntries(bytes) + 1;  // + 1: unfinished
    if (needed > list.capacity()) list.reserve(std::max(needed, 2 * list.capacity()));
    Tokenizer tokens(bytes, format);
    // Filled in place: the entries are the bulk of the memory a read touches.
    while (tokens.Next(list.emplace_back())) {
        const std::string_view name = list.back().Name;  // compares the sizes first
        if (name == "Motor") vehicle.HasMotor = true;
        if (name == "Gang") ++vehicle.GearCount;
    }
    list.pop_back();  // the unfinished token
}

bool ReadEntries(const std::string& path, Entries& list, Vehicle& vehicle,
                 const NumberFormat& format, MessageSink& sink) {
    // On any failure GearCount keeps its value: the caller shows no entries then.
    std::optional<std::string> bytes;
    {
        std::optional<DataFile> file = OpenDataFile(path, sink, "r");
        if (!file) return false;
        bytes = file->ReadAll();
        if (!bytes) {
            ShowFileError(sink, "Fehler beim Lesen von ", path, file->LastError());
            return false;
        }
    }  // closed before the entries are built
    ParseEntries(*bytes, list, vehicle, format);
    return true;
}

namespace {

// Calls line(tabs, parts...) for every line of the layout, in order. The depth
// changes before the entry's line is formed and never goes below 0.
template <typename Line>
void ForEachLine(const Entries& list, Line line) {
    std::size_t depth = 0;
    for (const C_Name_Val& entry : list) {
        if (entry.Typ == typ::GroupClose) {
            if (depth > 0) --depth;
        } else if (entry.Typ == typ::GroupOpen) {
            ++depth;
        }
        if (entry.Typ > 0) {
            line(depth, entry.Name, " ( ", entry.Value, " ) ");
        } else if (entry.Typ == typ::GroupOpen) {
            line(depth - 1, entry.Name, "{", {}, {});
        } else if (entry.Typ == typ::GroupClose) {
            line(depth, entry.Name, "}", {}, {});
        } else if (!entry.Name.empty()) {
            line(depth, entry.Name, {}, {}, {});
        }
    }
}

}  // namespace

std::string FormatEntries(const Entries& list) {
    using View = std::string_view;
    // Sized first, so a long file is built without growing the text again and again.
    std::size_t size = 0;
    ForEachLine(list, [&size](std::size_t tabs, View a, View b, View c, View d) {
        size += tabs + a.size() + b.size() + c.size() + d.size() + 2;
    });
    std::string out(size, '\0');
    char* at = out.data();
    ForEachLine(list, [&at](std::size_t tabs, View a, View b, View c, View d) {
        at = std::fill_n(at, tabs, '\t');
        for (const View part : {a, b, c, d}) at = std::copy(part.begin(), part.end(), at);
        *at++ = '\r';
        *at++ = '\n';
    });
    return out;
}

bool WriteEntries(const std::string& path, const Entries& list) {
    // A NUL would cut the path and write some other file.
    if (path.find('\0') != std::string::npos) return false;
    try {
        const std::string bytes = FormatEntries(list);
        // Binary, so the CR LF line ends stay exactly as formatted.
        std::ofstream out(PathFromText(path), std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        return !out.fail();
    } catch (...) {
        return false;
    }
}

}  // namespace quorvel
