#include "SafeSave.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

// How a save stays safe:
// - The file is never rewritten in place. The new content goes into a temporary file
//   in the file's own folder, is flushed to disk, and then atomically renamed over the
//   file, so a crash leaves either the old or the new content, never a mix.
// - The backup is made the same way: a flushed temporary copy that is given the name
//   "<file>_Orig" only if that name is still free, so an existing backup is never
//   replaced, not even by a race.
// - Temporary files are named ".<file>.<pid>.<n>.qvtmp". A save that is killed leaves
//   one behind; the next save of the same file removes those whose process is gone.

namespace quorvel {
namespace {

constexpr std::string_view kTempEnd = ".qvtmp";

bool AllDigits(std::string_view text) {
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Recognises ".<fileName>.<pid>.<n>.qvtmp" and gives its pid.
bool IsSaveTemporary(std::string_view entry, std::string_view fileName, long long& pid) {
    if (entry.size() <= 1 + fileName.size() + kTempEnd.size() || entry.front() != '.' ||
        entry.substr(1, fileName.size()) != fileName || !entry.ends_with(kTempEnd)) {
        return false;
    }
    std::string_view middle = entry.substr(1 + fileName.size());
    middle.remove_suffix(kTempEnd.size());
    if (middle.front() != '.') return false;
    middle.remove_prefix(1);
    const auto dot = middle.find('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view pidText = middle.substr(0, dot);
    if (!AllDigits(pidText) || !AllDigits(middle.substr(dot + 1))) return false;
    return std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid).ec == std::errc{};
}

std::string TempName(std::string_view fileName, long long pid, int n) {
    char digits[24];
    std::string name = ".";
    name += fileName;
    name += '.';
    name.append(digits, std::to_chars(digits, digits + sizeof digits, pid).ptr);
    name += '.';
    name.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
    name += kTempEnd;
    return name;
}

std::string Describe(int code);

SaveResult Failed(SaveStep step, int code, const std::string& path) noexcept {
    SaveResult result;
    result.step = step;
    result.errorCode = code;
    try {
        result.path = path;
        result.description = Describe(code);
    } catch (...) {
        // Out of memory while reporting: the step and the code still tell what failed.
    }
    return result;
}

#ifndef _WIN32

std::string Describe(int code) {
    return std::generic_category().message(code);
}

int Errno() {
    return errno != 0 ? errno : EIO;
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        if (n == 0) return EIO;  // a regular file that takes nothing would loop forever
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int Sync(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return Errno();
    }
    return 0;
}

// Makes the names in a folder durable. A folder that cannot be flushed at all
// (EINVAL: the filesystem has no such notion) is left as it is.
int SyncFolder(const std::string& folder) {
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return Errno();
    const int err = Sync(dir.get());
    return err == EINVAL ? 0 : err;
}

struct Place {
    std::string folder;
    std::string name;
    std::string Full(std::string_view entry) const {
        return (folder == "/" ? "" : folder) + "/" + std::string(entry);
    }
};

Place SplitPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A temporary file of this save: closed and removed when it goes away, unless
// its name was handed over to the file it became.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        Discard();
    }

    int Create(const Place& place) {
        const long long pid = ::getpid();
        for (int n = 0; n < 100; ++n) {
            path_ = place.Full(TempName(place.name, pid, n));
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd_ >= 0) return 0;
            const int err = Errno();
            path_.clear();
            if (err != EEXIST) return err;
        }
        return EEXIST;
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // The data was flushed before, so an interrupted close loses nothing.
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 || errno == EINTR ? 0 : Errno();
    }
    void Release() { path_.clear(); }
    void Discard() {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_.clear();
    }

  private:
    int fd_ = -1;
    std::string path_;
};

bool ProcessGone(long long pid) {
    if (pid <= 0 || pid > 0x7fffffff || pid == ::getpid()) return true;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Leftovers of a save of this file that was killed; best effort, a save does not
// fail because of them.
void RemoveStaleTemporaries(const Place& place) {
    struct DirCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(place.folder.c_str()));
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
        long long pid = 0;
        if (IsSaveTemporary(entry->d_name, place.name, pid) && ProcessGone(pid)) {
            ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
        }
    }
}

// Gives the file `from` the name `to` unless `to` exists. `fromGone` tells whether
// the name `from` went away with it.
int MoveNoReplace(const std::string& from, const std::string& to, bool& fromGone) {
    fromGone = false;
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        fromGone = true;
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Errno();
#endif
    // Filesystems without that rename: link() refuses an existing name as well.
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
}

// Copies `from` to `to`; readFailed tells which side failed.
int CopyInto(int from, int to, bool& readFailed) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            readFailed = true;
            return Errno();
        }
        if (n == 0) return 0;
        if (const int err = WriteAll(to, {buffer, static_cast<std::size_t>(n)})) return err;
    }
}

// 0 once "<file>_Orig" holds a complete, durable copy (made now or at an earlier
// save); else the error, with failPath naming what it concerned.
int EnsureBackup(const std::string& target, const struct stat& targetStat, const Place& place,
                 std::string& failPath) {
    const std::string backup = place.Full(place.name);
    struct stat existing {};
    if (::stat(backup.c_str(), &existing) == 0) return S_ISREG(existing.st_mode) ? 0 : EEXIST;
    if (errno != ENOENT) return Errno();
    // A link to nowhere holds the name: it is not ours to replace.
    if (::lstat(backup.c_str(), &existing) == 0) return EEXIST;
    if (errno != ENOENT) return Errno();

    const Fd source(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.valid()) {
        failPath = target;
        return Errno();
    }
    TempFile temp;
    if (const int err = temp.Create(place)) {
        failPath = place.folder;
        return err;
    }
    bool readFailed = false;
    if (const int err = CopyInto(source.get(), temp.fd(), readFailed)) {
        if (readFailed) failPath = target;
        return err;
    }
    if (::fchmod(temp.fd(), targetStat.st_mode & 07777) != 0) return Errno();
    if (const int err = Sync(temp.fd())) return err;
    if (const int err = temp.Close()) return err;
    bool tempGone = false;
    if (const int err = MoveNoReplace(temp.path(), backup, tempGone)) {
        // EEXIST: another save made the backup meanwhile; that one stays.
        return err == EEXIST ? 0 : err;
    }
    if (tempGone) temp.Release();
    temp.Discard();
    if (const int err = SyncFolder(place.folder)) {
        failPath = place.folder;
        return err;
    }
    return 0;
}

SaveResult Save(const std::string& path, const Entries& list, SaveStep& stage) {
    stage = SaveStep::CheckFile;
    struct FreeDeleter {
        void operator()(char* p) const { std::free(p); }
    };
    const std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
    if (!real) return Failed(SaveStep::CheckFile, Errno(), path);
    const std::string target = real.get();
    struct stat targetStat {};
    if (::stat(target.c_str(), &targetStat) != 0) {
        return Failed(SaveStep::CheckFile, Errno(), target);
    }
    if (!S_ISREG(targetStat.st_mode)) {
        return Failed(SaveStep::CheckFile, S_ISDIR(targetStat.st_mode) ? EISDIR : EINVAL, target);
    }
    if (::access(target.c_str(), W_OK) != 0) return Failed(SaveStep::CheckFile, Errno(), target);

    // The backup sits beside the path the user opened (a link keeps its own
    // backup), the new content goes to the link's target.
    const std::string backup = path + std::string(kBackupSuffix);
    Place backupPlace = SplitPath(backup);
    const std::unique_ptr<char, FreeDeleter> backupFolder(
        ::realpath(backupPlace.folder.c_str(), nullptr));
    if (!backupFolder) return Failed(SaveStep::CheckFile, Errno(), backupPlace.folder);
    backupPlace.folder = backupFolder.get();
    const Place targetPlace = SplitPath(target);
    RemoveStaleTemporaries(backupPlace);
    RemoveStaleTemporaries(targetPlace);

    stage = SaveStep::Backup;
    std::string failPath = backup;
    if (const int err = EnsureBackup(target, targetStat, backupPlace, failPath)) {
        return Failed(SaveStep::Backup, err, failPath);
    }

    stage = SaveStep::Write;
    TempFile temp;
    if (const int err = temp.Create(targetPlace)) {
        return Failed(SaveStep::Write, err, targetPlace.folder);
    }
    if (const int err = StreamEntries(
            list, [&temp](std::string_view chunk) { return WriteAll(temp.fd(), chunk); }))
        return Failed(SaveStep::Write, err, target);
    // Keep the owner when an administrator saves someone's file; a plain user
    // cannot give files away, and then the file becomes theirs.
    if (targetStat.st_uid != ::geteuid() || targetStat.st_gid != ::getegid()) {
        if (::fchown(temp.fd(), targetStat.st_uid, targetStat.st_gid) != 0) {
            // Not allowed: the save goes on.
        }
    }
    if (::fchmod(temp.fd(), targetStat.st_mode & 07777) != 0) {
        return Failed(SaveStep::Write, Errno(), target);
    }
    if (const int err = Sync(temp.fd())) return Failed(SaveStep::Write, err, target);
    if (const int err = temp.Close()) return Failed(SaveStep::Write, err, target);

    stage = SaveStep::Replace;
    if (::rename(temp.path().c_str(), target.c_str()) != 0) {
        return Failed(SaveStep::Replace, Errno(), target);
    }
    temp.Release();
    if (const int err = SyncFolder(targetPlace.folder)) {
        return Failed(SaveStep::Replace, err, targetPlace.folder);
    }
    return {};
}

constexpr int kOutOfMemory = ENOMEM;
constexpr int kUnexpected = EIO;
constexpr int kInvalidPath = EINVAL;

#else  // _WIN32

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                              size, nullptr, nullptr);
    }
    return out;
}

std::string Describe(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) {
        char digits[16];
        return "Error " +
               std::string(digits, std::to_chars(digits, digits + sizeof digits, code).ptr);
    }
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return Narrow(text);
}

int LastError() {
    const DWORD err = ::GetLastError();
    return err != 0 ? static_cast<int>(err) : ERROR_GEN_FAILURE;
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

  private:
    HANDLE handle_;
};

int WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return 0;
}

struct Place {
    std::wstring folder;
    std::wstring name;
    std::wstring Full(std::wstring_view entry) const {
        return folder + L"\\" + std::wstring(entry);
    }
};

// An absolute path split at its last separator.
Place SplitPath(const std::wstring& path) {
    std::wstring full = path;
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size > 0) {
        std::wstring buffer(size, L'\0');
        const DWORD used = ::GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
        if (used > 0 && used < size) full.assign(buffer.data(), used);
    }
    const auto slash = full.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {L".", full};
    return {full.substr(0, slash), full.substr(slash + 1)};
}

class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        Close();
        Discard();
    }

    int Create(const Place& place) {
        const long long pid = ::GetCurrentProcessId();
        const std::string name = Narrow(place.name);
        for (int n = 0; n < 100; ++n) {
            path_ = place.Full(PathFromText(TempName(name, pid, n)).wstring());
            handle_ = ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle_ != INVALID_HANDLE_VALUE) return 0;
            const int err = LastError();
            path_.clear();
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) return err;
        }
        return ERROR_FILE_EXISTS;
    }
    HANDLE handle() const { return handle_; }
    const std::wstring& path() const { return path_; }
    int Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return 0;
        const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return ::CloseHandle(handle) ? 0 : LastError();
    }
    void Release() { path_.clear(); }
    void Discard() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
        path_.clear();
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
};

bool ProcessGone(long long pid) {
    if (pid <= 0 || pid > 0xffffffffLL || pid == ::GetCurrentProcessId()) return true;
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

void RemoveStaleTemporaries(const Place& place) {
    const std::wstring pattern = place.Full(L"." + place.name + L".*.qvtmp");
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const std::string name = Narrow(place.name);
    do {
        long long pid = 0;
        if (IsSaveTemporary(Narrow(found.cFileName), name, pid) && ProcessGone(pid)) {
            ::DeleteFileW(place.Full(found.cFileName).c_str());
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

int CopyInto(HANDLE from, HANDLE to, bool& readFailed) {
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            readFailed = true;
            return LastError();
        }
        if (got == 0) return 0;
        if (const int err = WriteAll(to, {buffer.data(), got})) return err;
    }
}

int EnsureBackup(const std::wstring& target, const Place& place, std::string& failPath) {
    const std::wstring backup = place.Full(place.name);
    const DWORD attributes = ::GetFileAttributesW(backup.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : 0;
    }
    if (const int err = LastError(); err != ERROR_FILE_NOT_FOUND) return err;

    const Handle source(::CreateFileW(target.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.valid()) {
        failPath = Narrow(target);
        return LastError();
    }
    TempFile temp;
    if (const int err = temp.Create(place)) {
        failPath = Narrow(place.folder);
        return err;
    }
    bool readFailed = false;
    if (const int err = CopyInto(source.get(), temp.handle(), readFailed)) {
        if (readFailed) failPath = Narrow(target);
        return err;
    }
    if (!::FlushFileBuffers(temp.handle())) return LastError();
    if (const int err = temp.Close()) return err;
    // Without MOVEFILE_REPLACE_EXISTING an existing backup is never replaced.
    if (!::MoveFileExW(temp.path().c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const int err = LastError();
        return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? 0 : err;
    }
    temp.Release();
    return 0;
}

// The file a path finally leads to, following symbolic links.
int FinalPath(const std::wstring& path, std::wstring& target) {
    const Handle file(::CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return LastError();
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD size = ::GetFinalPathNameByHandleW(file.get(), nullptr, 0, flags);
    if (size == 0) return LastError();
    std::wstring buffer(size, L'\0');
    const DWORD used = ::GetFinalPathNameByHandleW(file.get(), buffer.data(), size, flags);
    if (used == 0 || used >= size) return LastError();
    target.assign(buffer.data(), used);
    return 0;
}

SaveResult Save(const std::string& path, const Entries& list, SaveStep& stage) {
    stage = SaveStep::CheckFile;
    const std::wstring widePath = PathFromText(path).wstring();
    DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Failed(SaveStep::CheckFile, LastError(), path);
    std::wstring target = widePath;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (const int err = FinalPath(widePath, target)) {
            return Failed(SaveStep::CheckFile, err, path);
        }
        attributes = ::GetFileAttributesW(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return Failed(SaveStep::CheckFile, LastError(), path);
        }
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        return Failed(SaveStep::CheckFile, ERROR_ACCESS_DENIED, Narrow(target));
    }

    const std::string backup = path + std::string(kBackupSuffix);
    const Place backupPlace = SplitPath(PathFromText(backup).wstring());
    const Place targetPlace = SplitPath(target);
    const std::wstring targetFull = targetPlace.Full(targetPlace.name);
    RemoveStaleTemporaries(backupPlace);
    RemoveStaleTemporaries(targetPlace);

    stage = SaveStep::Backup;
    std::string failPath = backup;
    if (const int err = EnsureBackup(targetFull, backupPlace, failPath)) {
        return Failed(SaveStep::Backup, err, failPath);
    }

    stage = SaveStep::Write;
    const std::string shownTarget = Narrow(targetFull);
    TempFile temp;
    if (const int err = temp.Create(targetPlace)) {
        return Failed(SaveStep::Write, err, Narrow(targetPlace.folder));
    }
    if (const int err = StreamEntries(
            list, [&temp](std::string_view chunk) { return WriteAll(temp.handle(), chunk); })) {
        return Failed(SaveStep::Write, err, shownTarget);
    }
    if (!::FlushFileBuffers(temp.handle()))
        return Failed(SaveStep::Write, LastError(), shownTarget);
    if (const int err = temp.Close()) return Failed(SaveStep::Write, err, shownTarget);
    // The file's own attributes (hidden, system, archive) carry over.
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept != 0 && !::SetFileAttributesW(temp.path().c_str(), kept)) {
        return Failed(SaveStep::Write, LastError(), shownTarget);
    }

    stage = SaveStep::Replace;
    if (!::MoveFileExW(temp.path().c_str(), targetFull.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Failed(SaveStep::Replace, LastError(), shownTarget);
    }
    temp.Release();
    return {};
}

constexpr int kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
constexpr int kUnexpected = ERROR_GEN_FAILURE;
constexpr int kInvalidPath = ERROR_INVALID_NAME;

#endif  // _WIN32

}  // namespace

SaveResult SaveEntries(const std::string& path, const Entries& list) noexcept {
    SaveStep stage = SaveStep::Write;
    // The system would see only the text before a NUL: another file, and the backup's
    // name could even cut back to the file's own.
    if (path.find('\0') != std::string::npos)
        return Failed(SaveStep::CheckFile, kInvalidPath, path);
    try {
        return Save(path, list, stage);
    } catch (const std::bad_alloc&) {
        return Failed(stage, kOutOfMemory, path);
    } catch (...) {
        return Failed(stage, kUnexpected, path);
    }
}

std::string RestoreSource(const std::string& path) {
    std::string backup = path + std::string(kBackupSuffix);
    return FileExists(backup) ? backup : path;
}

}  // namespace quorvel
