// The registry of a Wine prefix, read from the text files Wine keeps it in
// ("WINE REGISTRY Version 2"): section headers "[Key\\Path] timestamp", then one value
// a line: "Name"="text", @= for the default value, dword:0000000a, str(2):"text",
// hex:01,02 and hex(7):... with long byte lists continued on the next line after a
// trailing backslash. Lines starting with ';' or '#' are comments and metadata.
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>

#include "Mod_Datei.h"
#include "Mod_Registry.h"
#include "RegistryValue.h"

namespace quorvel {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Registry names compare without case. Windows folds all of Unicode; ASCII and
// Latin-1 cover the names this program looks up.
char16_t FoldCase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = FoldCase(c);
    return out;
}

// The key path folded, with empty parts (doubled, leading or trailing backslashes)
// left out, so that equal keys give equal text.
std::u16string CanonicalKey(std::u16string_view key) {
    std::u16string out;
    std::size_t start = 0;
    while (start < key.size()) {
        std::size_t end = key.find(u'\\', start);
        if (end == std::u16string_view::npos) end = key.size();
        if (end > start) {
            if (!out.empty()) out += u'\\';
            out += Folded(key.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

// The same key in the 32-bit view, where 64-bit Windows keeps the keys of 32-bit
// programs below HKLM\Software.
std::optional<std::u16string> Wow64Key(const std::u16string& key) {
    const std::u16string software = u"SOFTWARE";
    if (key != software && !key.starts_with(software + u'\\')) return std::nullopt;
    if (key.starts_with(software + u"\\WOW6432NODE")) return std::nullopt;
    return software + u"\\WOW6432NODE" + key.substr(software.size());
}

// A string as Wine writes it, from pos up to the closing character that is not
// escaped; pos ends behind that character. nullopt when the line ends first.
std::optional<std::u16string> ParseEscaped(std::string_view line, std::size_t& pos, char closing) {
    std::u16string out;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == closing) {
            ++pos;
            return out;
        }
        if (c != '\\') {
            AppendUtf16(out, DecodeUtf8(line, pos));
            continue;
        }
        if (++pos == line.size()) return std::nullopt;
        const char escaped = line[pos++];
        switch (escaped) {
            case 'a':
                out += u'\a';
                break;
            case 'b':
                out += u'\b';
                break;
            case 'e':
                out += u'\x1B';
                break;
            case 'f':
                out += u'\f';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 'v':
                out += u'\v';
                break;
            case 'x': {  // one UTF-16 unit in up to four hex digits
                unsigned unit = 0;
                int digits = 0;
                for (; digits < 4 && pos < line.size() && HexValue(line[pos]) >= 0; ++digits) {
                    unit = unit * 16 + HexValue(line[pos++]);
                }
                out += digits > 0 ? static_cast<char16_t>(unit) : u'x';
                break;
            }
            default:
                if (escaped >= '0' && escaped <= '7') {  // up to three octal digits
                    unsigned unit = escaped - '0';
                    for (int digits = 1;
                         digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits) {
                        unit = unit * 8 + (line[pos++] - '0');
                    }
                    out += static_cast<char16_t>(unit);
                } else {  // \\, \", \] and any other character stand for themselves
                    --pos;
                    AppendUtf16(out, DecodeUtf8(line, pos));
                }
        }
    }
    return std::nullopt;
}

class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (line.ends_with('\r')) line.remove_suffix(1);
        pos_ = end + 1;
        return true;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string Utf16Bytes(std::u16string_view units) {
    std::string bytes;
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// Byte lists "01,02,\" that may go on over the following lines.
std::optional<std::string> ParseHexBytes(std::string_view line, std::size_t pos, Lines& lines) {
    std::string bytes;
    for (;;) {
        while (pos < line.size() && (line[pos] == ',' || line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos == line.size()) return bytes;
        if (line[pos] == '\\' && pos + 1 == line.size()) {
            if (!lines.Next(line)) return bytes;
            pos = 0;
            continue;
        }
        int byte = HexValue(line[pos]);
        if (byte < 0) return std::nullopt;
        if (++pos < line.size() && HexValue(line[pos]) >= 0)
            byte = byte * 16 + HexValue(line[pos++]);
        bytes += static_cast<char>(byte);
    }
}

// A type number in hex, as in "str(2):" and "hex(7):"; pos ends behind the colon.
std::optional<std::uint32_t> ParseTypeNumber(std::string_view line, std::size_t& pos) {
    std::uint32_t type = 0;
    const std::size_t start = pos;
    for (; pos < line.size() && HexValue(line[pos]) >= 0 && pos - start < 8; ++pos) {
        type = type * 16 + HexValue(line[pos]);
    }
    if (pos == start || line.substr(pos, 2) != "):") return std::nullopt;
    pos += 2;
    return type;
}

// The data behind "Name"= on a value line.
std::optional<RegistryValue> ParseData(std::string_view line, std::size_t pos, Lines& lines) {
    const std::string_view rest = line.substr(pos);
    RegistryValue value;
    if (rest.starts_with("str(") || rest.starts_with('"')) {
        value.type = kRegSz;
        if (rest.starts_with("str(")) {
            pos += 4;
            const auto type = ParseTypeNumber(line, pos);
            if (!type || pos == line.size() || line[pos] != '"') return std::nullopt;
            value.type = *type;
        }
        ++pos;
        auto text = ParseEscaped(line, pos, '"');
        if (!text) return std::nullopt;
        *text += u'\0';  // Wine stores strings with their closing NUL, as Windows does
        value.data = Utf16Bytes(*text);
        return value;
    }
    if (rest.starts_with("dword:")) {
        std::uint32_t number = 0;
        pos += 6;
        const std::size_t start = pos;
        for (; pos < line.size() && HexValue(line[pos]) >= 0 && pos - start < 8; ++pos) {
            number = number * 16 + HexValue(line[pos]);
        }
        if (pos == start) return std::nullopt;
        value.type = kRegDword;
        for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xFF);
        return value;
    }
    if (rest.starts_with("hex:")) {
        value.type = 3;  // REG_BINARY
        pos += 4;
    } else if (rest.starts_with("hex(")) {
        pos += 4;
        const auto type = ParseTypeNumber(line, pos);
        if (!type) return std::nullopt;
        value.type = *type;
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(line, pos, lines);
    if (!bytes) return std::nullopt;
    value.data = std::move(*bytes);
    return value;
}

struct WineLookup {
    bool keyFound = false;  // also when only keys below it are written
    std::optional<RegistryValue> value;
};

// key is canonical, name folded.
WineLookup FindWineValue(std::string_view file, const std::u16string& key,
                         const std::u16string& name) {
    WineLookup found;
    found.keyFound = key.empty();  // the root always exists
    bool inKey = false;
    Lines lines(file);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.starts_with('[')) {
            // A key may have several sections; Wine merges them, a later value winning.
            inKey = false;
            std::size_t pos = 1;
            const auto header = ParseEscaped(line, pos, ']');
            if (!header) continue;
            const std::u16string section = CanonicalKey(*header);
            if (section == key) {
                found.keyFound = inKey = true;
            } else if (section.size() > key.size() && section.starts_with(key) &&
                       section[key.size()] == u'\\') {
                found.keyFound = true;
            }
            continue;
        }
        if (!inKey) continue;
        std::size_t pos = 1;
        std::optional<std::u16string> valueName;
        if (line.starts_with('@')) {
            valueName.emplace();
        } else if (line.starts_with('"')) {
            valueName = ParseEscaped(line, pos, '"');
        }
        if (!valueName || pos >= line.size() || line[pos] != '=') continue;
        if (Folded(*valueName) != name) continue;
        found.value = ParseData(line, pos + 1, lines);
    }
    return found;
}

// Only a regular file is read, without waiting on a pipe put in its place.
std::int32_t ReadWholeFile(const std::filesystem::path& path, std::string& text) {
    const std::u8string name = path.u8string();
    SystemError error;
    unsigned kind = 0;
    std::FILE* opened = OpenRegularForReading({name.begin(), name.end()}, error, kind);
    if (opened == nullptr) {
        const bool missing = kind != 0 || error.number == ENOENT || error.number == ENOTDIR;
        return missing ? registry_error::kNotFound : registry_error::kAccessDenied;
    }
    DataFile file(opened);
    std::optional<std::string> bytes = file.ReadAll();
    if (!bytes) return registry_error::kAccessDenied;
    text = std::move(*bytes);
    return 0;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The entry of folder that Wine would open for name: the exact name when it exists,
// else one that differs only in ASCII case, else the name as given.
std::filesystem::path FolderEntry(const std::filesystem::path& folder, std::string_view name) {
    const std::filesystem::path exact = PathFromText(std::string(name));
    std::error_code error;
    if (std::filesystem::exists(folder / exact, error)) return exact;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (EqualsIgnoringAsciiCase(it->path().filename().string(), name)) {
            return it->path().filename();
        }
    }
    return exact;
}

}  // namespace

std::string ReadWineRegistryString(const std::string& prefixFolder, RegistryRoot root,
                                   std::string_view subKey, std::string_view valueName,
                                   std::int32_t& errorCode) {
    errorCode = registry_error::kNotFound;
    if (prefixFolder.empty()) return {};
    std::string file;
    errorCode = ReadWholeFile(PathFromText(prefixFolder) /
                                  (root == RegistryRoot::LocalMachine ? "system.reg" : "user.reg"),
                              file);
    if (errorCode != 0) return {};

    const std::u16string key = CanonicalKey(Utf8ToUtf16(subKey));
    const std::u16string name = Folded(Utf8ToUtf16(valueName));
    WineLookup found = FindWineValue(file, key, name);
    if (!found.keyFound && root == RegistryRoot::LocalMachine) {
        if (const auto wow64 = Wow64Key(key)) found = FindWineValue(file, *wow64, name);
    }
    if (!found.value) {
        errorCode = registry_error::kNotFound;
        return {};
    }
    if (found.value->data.size() > kRegistryBufferSize) {
        errorCode = registry_error::kMoreData;
        return {};
    }
    return RegistryValueText(*found.value);
}

std::string WinePathToLinux(const std::string& prefixFolder, std::string_view windowsPath) {
    if (prefixFolder.empty() || windowsPath.size() < 2 || windowsPath[1] != ':') return {};
    const char letter = static_cast<char>(windowsPath[0] | 0x20);
    if (letter < 'a' || letter > 'z') return {};
    std::error_code error;
    const std::filesystem::path drive = std::filesystem::canonical(
        PathFromText(prefixFolder) / "dosdevices" / std::string{letter, ':'}, error);
    if (error) return {};

    std::filesystem::path folder = drive;
    std::size_t start = 2;
    while (start < windowsPath.size()) {
        std::size_t end = windowsPath.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = windowsPath.size();
        const std::string_view part = windowsPath.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (folder != drive) folder = folder.parent_path();  // never above the drive
            continue;
        }
        folder /= FolderEntry(folder, part);
    }
    return folder.string();
}

#ifndef _WIN32
std::string ReadRegistryString(RegistryRoot root, std::string_view subKey,
                               std::string_view valueName, std::int32_t& errorCode) {
    return ReadWineRegistryString(WineEnvironment::FromProcess().PrefixFolder(), root, subKey,
                                  valueName, errorCode);
}
#endif

}  // namespace quorvel
