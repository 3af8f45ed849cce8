#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#ifdef _WIN32
struct _BY_HANDLE_FILE_INFORMATION;
#else
struct stat;
#endif

namespace quorvel {

// Which file a path named when it was loaded, and with what content, so that a save
// can tell whether another program changed or replaced it meanwhile.
struct FileIdentity {
    bool known = false;
    bool viaLink = false;      // the path was a symbolic link then
    std::uint64_t device = 0;  // POSIX st_dev; Windows volume serial number
    std::uint64_t file = 0;    // POSIX st_ino; Windows file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // ns since 1970 (POSIX); 100 ns ticks since 1601 (Windows)
    std::uint64_t hash = 0;     // ContentHash of the bytes
    // Kept for a save that replaces a link with a file of its own; not compared.
    std::uint32_t mode = 0, owner = 0, group = 0;

    // The same file with the same content, wherever the path led.
    bool SameFile(const FileIdentity& other) const {
        return known && other.known && device == other.device && file == other.file &&
               size == other.size && modified == other.modified && hash == other.hash;
    }
};

// What a save knows of the file the editor shows: its identity at the load or at the
// last save.
struct LoadedFile {
    FileIdentity identity;
};

// A 64-bit hash that can be continued chunk by chunk: ContentHash(b, ContentHash(a)) is
// ContentHash(a + b).
inline constexpr std::uint64_t kHashStart = 0;
std::uint64_t ContentHash(std::string_view bytes, std::uint64_t hash = kHashStart);

// What the system tells of a file, as its identity; the hash is left for the caller.
#ifdef _WIN32
FileIdentity IdentityOf(const _BY_HANDLE_FILE_INFORMATION& info, bool viaLink);
#else
FileIdentity IdentityOf(const struct stat& info, bool viaLink);
#endif

// The identity of a file opened at path whose whole content is bytes. failed, when given,
// learns whether the system could not tell of the file (an I/O error, say): the identity
// is then unknown for that reason, not because the file changed while it was read.
FileIdentity IdentifyOpenFile(std::FILE* file, const std::string& path, std::string_view bytes,
                              bool* failed = nullptr);

// The identity of the file at path as it is now; unknown when it cannot be read.
FileIdentity IdentifyFile(const std::string& path);

}  // namespace quorvel
