#include "FileIdentity.h"

#include <sys/stat.h>

#include <optional>

#include "Mod_Datei.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#endif

namespace quorvel {

std::uint64_t ContentHash(std::string_view bytes, std::uint64_t hash) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

FileIdentity IdentifyOpenFile(std::FILE* file, const std::string& path, std::string_view bytes) {
    FileIdentity id;
    id.hash = ContentHash(bytes);
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info{};
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return id;
    id.device = info.dwVolumeSerialNumber;
    id.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    id.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    const DWORD attributes = GetFileAttributesW(PathFromText(path).c_str());
    id.viaLink =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) return id;
    id.device = info.st_dev;
    id.file = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modified = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    id.mode = info.st_mode;
    id.owner = info.st_uid;
    id.group = info.st_gid;
    struct stat link {};
    id.viaLink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
#endif
    id.known = id.size == bytes.size();  // else it changed while it was read
    return id;
}

FileIdentity IdentifyFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) return {};
    try {
#ifdef _WIN32
        std::FILE* opened = _wfopen(PathFromText(path).c_str(), L"rb");
#else
        std::FILE* opened = std::fopen(path.c_str(), "rbe");
#endif
        if (opened == nullptr) return {};
        DataFile file(opened);
        const std::optional<std::string> bytes = file.ReadAll();
        return bytes ? IdentifyOpenFile(file.get(), path, *bytes) : FileIdentity{};
    } catch (...) {
        return {};
    }
}

}  // namespace quorvel
