#include "Mod_Quorvel.h"

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

bool IsNumeric(std::string_view value, const NumberFormat& format) {
    return ParseLocaleNumber(value, format).has_value();
}

// One token of the file, as the tokenizer hands it over.
struct Token {
    std::string name;
    std::string value;
    std::int16_t kind = 0;
};

// Reads the next token starting at pos; false when the bytes end first (the
// unfinished token is then dropped). Every byte is looked at once.
bool ReadToken(std::string_view bytes, std::size_t& pos, Token& token, const NumberFormat& format) {
    token = Token{};
    std::string collected;
    while (pos < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[pos++]);
        switch (byte) {
            case '{':
                token.kind = typ::GroupOpen;
                if (collected.empty()) break;
                token.name = std::move(collected);
                return true;
            case '}':
                token.kind = typ::GroupClose;
                return true;
            case '(':
                if (!collected.empty()) token.name = std::move(collected);
                collected.clear();
                break;
            case ')':
                if (!collected.empty()) token.value = std::move(collected);
                token.kind = IsNumeric(token.value, format) ? typ::Number : typ::Text;
                return true;
            default:
                if (byte >= 32 && byte <= 126) collected += static_cast<char>(byte);
                break;
        }
    }
    return false;
}

}  // namespace

void ParseEntries(std::string_view bytes, Entries& list, Vehicle& vehicle,
                  const NumberFormat& format) {
    vehicle.GearCount = 0;
    std::size_t pos = 0;
    Token token;
    while (ReadToken(bytes, pos, token, format)) {
        C_Name_Val entry;
        entry.Name = std::string(TrimSpaces(token.name));
        if (entry.Name == "Motor") vehicle.HasMotor = true;
        if (entry.Name == "Gang") ++vehicle.GearCount;
        entry.Value = std::string(TrimSpaces(token.value));
        entry.Typ = token.kind;
        list.push_back(std::move(entry));
    }
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

std::string FormatEntries(const Entries& list) {
    std::string out;
    std::int32_t depth = 0;
    for (const C_Name_Val& entry : list) {
        if (entry.Typ == typ::GroupClose) {
            if (depth > 0) --depth;
        } else if (entry.Typ == typ::GroupOpen) {
            ++depth;
        }
        if (entry.Typ > 0) {
            out.append(static_cast<std::size_t>(depth), '\t');
            out += entry.Name;
            out += " ( ";
            out += entry.Value;
            out += " ) ";
        } else if (entry.Typ == typ::GroupOpen) {
            out.append(static_cast<std::size_t>(depth - 1), '\t');
            out += entry.Name;
            out += '{';
        } else if (entry.Typ == typ::GroupClose) {
            out.append(static_cast<std::size_t>(depth), '\t');
            out += entry.Name;
            out += '}';
        } else if (!entry.Name.empty()) {
            out.append(static_cast<std::size_t>(depth), '\t');
            out += entry.Name;
        } else {
            continue;
        }
        out += "\r\n";
    }
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
