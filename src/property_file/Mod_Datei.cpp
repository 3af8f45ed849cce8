#include "Mod_Datei.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "ErrorText.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

enum class Access { Read, Write, ReadWrite };

// "Ö" spelled as UTF-8 bytes so the text does not depend on the compiler's source charset.
constexpr std::string_view kOpenFailed =
    "Fehler beim \xC3\x96"
    "ffnen von ";

// Counts characters, not bytes: UTF-8 continuation bytes do not start a character.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

#ifdef _WIN32

std::string Utf8FromWide(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

SystemError ErrorFromCode(DWORD code) {
    SystemError error;
    error.number = code;
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (buffer != nullptr) {
        // The system's texts end with a line break the message must not carry.
        while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                              buffer[length - 1] == L' ')) {
            --length;
        }
        error.description = Utf8FromWide(buffer, static_cast<int>(length));
        LocalFree(buffer);
    }
    return error;
}

std::FILE* OpenFile(const std::string& path, Access access, SystemError& error, unsigned& kind) {
    std::filesystem::path native;
    try {
        if (path.find('\0') != std::string::npos) {
            error = ErrorFromCode(ERROR_INVALID_NAME);
            return nullptr;
        }
        native = PathFromText(path);
    } catch (...) {
        error = ErrorFromCode(ERROR_NO_UNICODE_TRANSLATION);
        return nullptr;
    }
    const DWORD desired = access == Access::Read    ? GENERIC_READ
                          : access == Access::Write ? GENERIC_WRITE
                                                    : GENERIC_READ | GENERIC_WRITE;
    // OPEN_ALWAYS: "w" creates a missing file but must not cut an existing one.
    const DWORD disposition = access == Access::Write ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE handle = CreateFileW(native.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastSystemError();
        return nullptr;
    }
    // A device or pipe named like a file is not read as one.
    if (const DWORD type = GetFileType(handle); type != FILE_TYPE_DISK) {
        kind = type;
        error = ErrorFromCode(ERROR_INVALID_FUNCTION);
        CloseHandle(handle);
        return nullptr;
    }
    const int flags = access == Access::Read    ? _O_RDONLY
                      : access == Access::Write ? _O_WRONLY
                                                : _O_RDWR;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    // The C runtime's table is full: it sets errno, not the Windows error.
    if (fd == -1) {
        error = ErrorFromCode(ERROR_TOO_MANY_OPEN_FILES);
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, access == Access::Read    ? "rb"
                                  : access == Access::Write ? "wb"
                                                            : "r+b");
    if (file == nullptr) {
        error = ErrorFromCode(ERROR_TOO_MANY_OPEN_FILES);
        _close(fd);  // closes the handle too
    }
    return file;
}

#else

std::FILE* OpenFile(const std::string& path, Access access, SystemError& error, unsigned& kind) {
    if (path.find('\0') != std::string::npos) {
        // The system would silently open the path cut at the NUL.
        errno = EINVAL;
        error = LastSystemError();
        return nullptr;
    }
    const int flags = access == Access::Read    ? O_RDONLY
                      : access == Access::Write ? O_WRONLY | O_CREAT  // no O_TRUNC
                                                : O_RDWR;
    // Not waiting: a pipe or device put at the path would hold the open forever.
    const int fd =
        ::open(PathFromText(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        error = LastSystemError();
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = LastSystemError();
        kind = info.st_mode;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // fdopen never truncates, whatever its mode text.
    std::FILE* file = ::fdopen(fd, access == Access::Read    ? "rb"
                                   : access == Access::Write ? "wb"
                                                             : "r+b");
    if (file == nullptr) {
        error = LastSystemError();
        ::close(fd);
    }
    return file;
}

#endif

// A failed open that means nothing is there.
bool IsMissing(std::int64_t code) {
#ifdef _WIN32
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           code == ERROR_INVALID_NAME || code == ERROR_BAD_NETPATH || code == ERROR_NOT_READY;
#else
    return code == ENOENT || code == ENOTDIR;
#endif
}

}  // namespace

std::filesystem::path PathFromText(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
    return std::filesystem::path(text);
#endif
}

SystemError LastSystemError() {
#ifdef _WIN32
    return ErrorFromCode(GetLastError());
#else
    const int code = errno;
    return SystemError{code, std::generic_category().message(code)};
#endif
}

void ShowFileError(MessageSink& sink, std::string_view what, const std::string& path,
                   const SystemError& error) {
    std::string text;
    text.reserve(what.size() + path.size() + error.description.size() + 40);
    text += what;
    text += path;
    text += "\r\nNummer: ";
    char number[24];
    const auto written = std::to_chars(number, number + sizeof number, error.number);
    text.append(number, written.ptr);
    text += "\r\nFehler: ";
    text += ErrorText(error.number, error.description, path);
    sink.ShowMessage(kAppTitle, text, MessageIcon::Critical);
}

std::size_t OpenFileSize(std::FILE* file) {
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0 || info.st_size <= 0) return 0;
#else
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0 || info.st_size <= 0) return 0;
#endif
    return static_cast<std::size_t>(info.st_size);
}

std::size_t ReadBytes(std::FILE* file, char* to, std::size_t size, bool& failed) {
#ifdef _WIN32
    const std::size_t got = std::fread(to, 1, size, file);
    failed = std::ferror(file) != 0;
    return got;
#else
    // Straight from the system: stdio would split a file read whole into buffer-sized
    // reads, a system call each.
    std::size_t got = 0;
    failed = false;
    while (got < size) {
        const ::ssize_t n = ::read(::fileno(file), to + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    return got;
#endif
}

std::optional<std::string> DataFile::ReadAll() {
    std::FILE* file = file_.get();
    // One byte beyond the expected size, so the end shows on the first read.
    std::size_t capacity = OpenFileSize(file) + 1;
    if (capacity < 4096) capacity = 4096;
    std::string data;
    std::size_t used = 0;
    for (;;) {
        data.resize(capacity);
        const std::size_t wanted = capacity - used;
        bool failed = false;
        const std::size_t got = ReadBytes(file, data.data() + used, wanted, failed);
        used += got;
        if (failed) {
            error_ = LastSystemError();
            return std::nullopt;
        }
        if (got < wanted) break;
        capacity *= 2;
    }
    data.resize(used);
    return data;
}

std::optional<DataFile> OpenDataFile(const std::string& path, MessageSink& sink,
                                     std::string_view mode) {
    Access access;
    if (mode == "r") {
        access = Access::Read;
    } else if (mode == "w") {
        access = Access::Write;
    } else if (mode == "rw") {
        access = Access::ReadWrite;
    } else {
        return std::nullopt;
    }
    SystemError error;
    unsigned kind = 0;
    std::FILE* file = OpenFile(path, access, error, kind);
    if (file != nullptr) return DataFile(file);
    if (const std::string_view what = SpecialFileKind(kind); kind != 0 && !what.empty()) {
        sink.ShowMessage(kAppTitle,
                         std::string(kOpenFailed) + path + "\r\nDer Pfad ist " + std::string(what) +
                             ", keine gew\xC3\xB6hnliche Datei.",
                         MessageIcon::Exclamation);
    } else if (access != Access::Write && IsMissing(error.number)) {
        sink.ShowMessage(kAppTitle, "Datei " + path + " nicht gefunden", MessageIcon::Exclamation);
    } else {
        ShowFileError(sink, kOpenFailed, path, error);
    }
    return std::nullopt;
}

std::FILE* OpenRegularForReading(const std::string& path, SystemError& error, unsigned& kind) {
    kind = 0;
    return OpenFile(path, Access::Read, error, kind);
}

std::string_view SpecialFileKind(unsigned kind) {
#ifdef _WIN32
    switch (kind) {
        case FILE_TYPE_DISK:
            return {};
        case FILE_TYPE_PIPE:
            return "eine benannte Pipe";
        default:
            return "ein Ger\xC3\xA4t";
    }
#else
    const auto mode = static_cast<mode_t>(kind);
    if (S_ISREG(mode)) return {};
    if (S_ISFIFO(mode)) return "eine benannte Pipe (FIFO)";
    if (S_ISSOCK(mode)) return "ein Socket";
    if (S_ISDIR(mode)) return "ein Ordner";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "ein Ger\xC3\xA4t";
    return "keine Datei";
#endif
}

bool FileExists(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    try {
#ifdef _WIN32
        // Hidden, system and read-only files count; folders do not.
        const DWORD attributes = GetFileAttributesW(PathFromText(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
        std::error_code ec;
        return std::filesystem::is_regular_file(PathFromText(path), ec);
#endif
    } catch (...) {
        return false;
    }
}

std::string GetFolder(std::string_view path) {
#ifdef _WIN32
    constexpr std::string_view kCuts = "\\:";
#else
    constexpr std::string_view kCuts = "\\:/";
#endif
    const std::size_t at = path.find_last_of(kCuts);
    if (at == std::string_view::npos) return {};
    return std::string(path.substr(0, at));
}

std::string BuildPath(std::string_view folder, std::string_view name, std::string_view extension) {
    std::string result = JoinWithSeparator(folder, name, "\\");
    if (CharacterCount(extension) > 1) result = JoinWithSeparator(result, extension, ".");
    return result;
}

std::string JoinWithSeparator(std::string_view first, std::string_view second,
                              std::string_view separator) {
    std::string result;
    result.reserve(first.size() + separator.size() + second.size());
    if (first.empty()) {
        result.append(separator).append(second);
    } else if (second.empty()) {
        result.append(first).append(separator);
    } else if (separator.empty()) {
        result.append(first).append(second);
    } else {
        // Only a one-character separator can match at the seam.
        const bool single = CharacterCount(separator) == 1;
        const bool firstEnds = single && first.ends_with(separator);
        const bool secondBegins = single && second.starts_with(separator);
        result.append(first);
        if (firstEnds && secondBegins) {
            result.append(second.substr(separator.size()));
        } else if (firstEnds || secondBegins) {
            result.append(second);
        } else {
            result.append(separator).append(second);
        }
    }
    return result;
}

}  // namespace quorvel
