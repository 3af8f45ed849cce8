#include "FileIdentity.h"

#include <sys/stat.h>

#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "Mod_Datei.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace quorvel {

namespace {

// CRC-64 (the ECMA polynomial, reflected), eight bytes a step: a byte-wise chain of
// multiplies costs more than reading the file.
constexpr std::uint64_t kPoly = 0xC96C5795D7870F42ULL;
using CrcTables = std::array<std::array<std::uint64_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (std::uint64_t i = 0; i < 256; ++i) {
        std::uint64_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? kPoly : 0);
        t[0][i] = crc;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

// The eight bytes at p, the first lowest.
std::uint64_t Word(const unsigned char* p) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, sizeof word);
    } else {
        for (int i = 7; i >= 0; --i) word = (word << 8) | p[i];
    }
    return word;
}

std::uint64_t Step(std::uint64_t crc, std::uint64_t word) {
    crc ^= word;
    return kCrc[7][crc & 0xFF] ^ kCrc[6][(crc >> 8) & 0xFF] ^ kCrc[5][(crc >> 16) & 0xFF] ^
           kCrc[4][(crc >> 24) & 0xFF] ^ kCrc[3][(crc >> 32) & 0xFF] ^ kCrc[2][(crc >> 40) & 0xFF] ^
           kCrc[1][(crc >> 48) & 0xFF] ^ kCrc[0][crc >> 56];
}

// The register after the bytes, without the inversions before and after.
std::uint64_t Update(std::uint64_t crc, const unsigned char* at, std::size_t size) {
    for (; size >= 8; size -= 8, at += 8) crc = Step(crc, Word(at));
    for (; size > 0; --size, ++at) crc = kCrc[0][(crc ^ *at) & 0xFF] ^ (crc >> 8);
    return crc;
}

// a times b modulo the polynomial, both reflected (x^0 is the top bit).
constexpr std::uint64_t MultModP(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    for (std::uint64_t bit = std::uint64_t{1} << 63; bit != 0; bit >>= 1) {
        if ((a & bit) != 0) product ^= b;
        b = (b & 1) != 0 ? (b >> 1) ^ kPoly : b >> 1;
    }
    return product;
}

// x^(2^k) modulo the polynomial.
constexpr std::array<std::uint64_t, 64> MakePowers() {
    std::array<std::uint64_t, 64> powers{};
    powers[0] = std::uint64_t{1} << 62;  // x
    for (std::size_t k = 1; k < powers.size(); ++k)
        powers[k] = MultModP(powers[k - 1], powers[k - 1]);
    return powers;
}

constexpr std::array<std::uint64_t, 64> kPowers = MakePowers();

// The register of a CRC followed by size more bytes of zero: what it contributes to
// the CRC of a longer text, which is linear in its parts.
std::uint64_t Shift(std::uint64_t crc, std::uint64_t size) {
    std::uint64_t factor = std::uint64_t{1} << 63;       // 1
    for (std::size_t k = 3; size != 0; size >>= 1, ++k)  // x^(8 size): bits of size from x^8
        if ((size & 1) != 0) factor = MultModP(kPowers[k], factor);
    return MultModP(factor, crc);
}

}  // namespace

std::uint64_t ContentHash(std::string_view bytes, std::uint64_t hash) {
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    // Each step waits for the one before; three parts of a longer text are stepped
    // side by side and joined after, as CRC(A B) = Shift(CRC(A), |B|) ^ CRC(B).
    constexpr std::size_t kSideBySide = 2048;
    if (bytes.size() < kSideBySide) return ~Update(~hash, at, bytes.size());
    const std::size_t part = bytes.size() / 3 / 8 * 8;
    std::uint64_t a = ~hash, b = 0, c = 0;
    for (std::size_t i = 0; i < part; i += 8) {
        a = Step(a, Word(at + i));
        b = Step(b, Word(at + part + i));
        c = Step(c, Word(at + 2 * part + i));
    }
    c = Update(c, at + 3 * part, bytes.size() - 3 * part);
    return ~(Shift(Shift(a, part) ^ b, bytes.size() - 2 * part) ^ c);
}

#ifdef _WIN32
FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info, bool viaLink) {
    FileIdentity id;
    id.known = true;
    id.viaLink = viaLink;
    id.device = info.dwVolumeSerialNumber;
    id.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    id.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return id;
}
#else
FileIdentity IdentityOf(const struct stat& info, bool viaLink) {
    FileIdentity id;
    id.known = true;
    id.viaLink = viaLink;
    id.device = info.st_dev;
    id.file = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modified = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    id.mode = info.st_mode;
    id.owner = info.st_uid;
    id.group = info.st_gid;
    return id;
}
#endif

FileIdentity IdentifyOpenFile(std::FILE* file, const std::string& path, std::string_view bytes,
                              bool* failed) {
    // The system's error stays the last one, for the caller to tell.
    const auto fail = [failed] {
        if (failed != nullptr) *failed = true;
        return FileIdentity{};
    };
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return fail();
    const DWORD attributes = GetFileAttributesW(PathFromText(path).c_str());
    FileIdentity id = IdentityOf(info, attributes != INVALID_FILE_ATTRIBUTES &&
                                           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
#else
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) return fail();
    struct stat link {};
    // An error here says nothing about links: it is an error of its own, rather than a
    // reason for the next save to ask about a link that was there all along.
    if (::lstat(path.c_str(), &link) != 0) return fail();
    FileIdentity id = IdentityOf(info, S_ISLNK(link.st_mode));
#endif
    id.hash = ContentHash(bytes);
    id.known = id.size == bytes.size();  // else it changed while it was read
    return id;
}

FileIdentity IdentifyFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) return {};
    try {
        SystemError error;
        unsigned kind = 0;
        std::FILE* opened = OpenRegularForReading(path, error, kind);
        if (opened == nullptr) return {};
        DataFile file(opened);
        const std::optional<std::string> bytes = file.ReadAll();
        return bytes ? IdentifyOpenFile(file.get(), path, *bytes) : FileIdentity{};
    } catch (...) {
        return {};
    }
}

}  // namespace quorvel
