#include "Mod_Registry.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "Mod_Datei.h"
#include "RegistryValue.h"

namespace quorvel {

namespace {

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = lead < 0x80             ? 1
                               : (lead & 0xE0) == 0xC0 ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 0;
    ++pos;
    if (length <= 1 || pos - 1 + length > text.size()) return lead;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 0; k + 1 < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if ((next & 0xC0) != 0x80) return lead;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || IsSurrogate(c)) return lead;
    pos += length - 1;
    return c;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) AppendUtf16(out, DecodeUtf8(text, pos));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsSurrogate(c)) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string RegistryValueText(const RegistryValue& value) {
    const std::string& data = value.data;
    if (value.type == kRegSz) {
        // Programs often store the size of their whole buffer, so the text ends at its
        // first NUL rather than at the data's end.
        std::u16string units;
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                    static_cast<unsigned char>(data[i + 1]) << 8);
            if (unit == 0) break;
            units += unit;
        }
        return Utf16ToUtf8(units);
    }
    if (value.type == kRegDword && !data.empty()) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), 4); ++i) {
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
        }
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        return std::string(digits, end);
    }
    return {};
}

WineEnvironment WineEnvironment::FromProcess() {
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    return {variable("WINEPREFIX"), variable("HOME")};
}

std::string WineEnvironment::PrefixFolder() const {
    if (!winePrefix.empty()) return winePrefix;
    if (!home.empty()) return home + "/.wine";
    return {};
}

std::string HostRollingStockFolder([[maybe_unused]] const WineEnvironment& wine) {
    std::int32_t error = 0;
#ifdef _WIN32
    const std::string folder =
        ReadRegistryString(RegistryRoot::LocalMachine, kHostRegistryKey, kHostRegistryValue, error);
    return error != 0 ? std::string() : BuildPath(folder, kRollingStockSubfolder);
#else
    const std::string prefix = wine.PrefixFolder();
    const std::string folder = ReadWineRegistryString(prefix, RegistryRoot::LocalMachine,
                                                      kHostRegistryKey, kHostRegistryValue, error);
    if (error != 0) return {};
    return WinePathToLinux(prefix, BuildPath(folder, kRollingStockSubfolder));
#endif
}

}  // namespace quorvel
