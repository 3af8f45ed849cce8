#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the registry readers share: the raw value as the registry returns it, its
// conversion to text, and the UTF-8/UTF-16 conversions between the program's text and
// the registry's.
namespace quorvel {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;
// The data buffer handed to the registry; longer values are not read. Texts come as
// UTF-16, so 2048 bytes hold the 1023 characters a 1024-byte single-byte buffer held.
inline constexpr std::size_t kRegistryBufferSize = 2048;

struct RegistryValue {
    std::uint32_t type = 0;
    std::string data;  // raw bytes; strings are UTF-16LE
};

// REG_SZ: the text up to its first NUL; REG_DWORD: unsigned decimal text of its first
// four bytes, least significant first; other types and empty data: empty text.
std::string RegistryValueText(const RegistryValue& value);

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// A byte that starts no valid UTF-8 sequence stands for the Latin-1 character of that
// value, so text from a Latin-1 editor still reads.
std::u16string Utf8ToUtf16(std::string_view text);

// Decodes the character at text[pos] and moves pos behind it; as Utf8ToUtf16.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
void AppendUtf16(std::u16string& out, char32_t c);

}  // namespace quorvel
