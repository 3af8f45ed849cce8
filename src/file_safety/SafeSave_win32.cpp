#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cwchar>
#include <optional>
#include <utility>

#include "Mod_Datei.h"
#include "SaveSteps.h"

namespace quorvel::save {

namespace {

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

int LastError() {
    const DWORD err = ::GetLastError();
    return err != 0 ? static_cast<int>(err) : ERROR_GEN_FAILURE;
}

class Handle {
  public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    int Close() {
        if (!valid()) return 0;
        return ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) ? 0 : LastError();
    }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }

  private:
    HANDLE handle_;
};

bool SameState(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.file == b.file && a.size == b.size && a.modified == b.modified;
}

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

// Hands the whole file to take, from its start.
template <typename Take>
int ReadWhole(HANDLE file, Take take) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return LastError();
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return LastError();
        if (got == 0) return 0;
        if (const int err = take(std::string_view(buffer.data(), got))) return err;
    }
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

std::wstring Wide(const std::string& name) {
    return PathFromText(name).wstring();
}

enum class Leftover { Gone, Live, Foreign };

// Removes the temporary at path when no save holds it: only a file that nobody has open
// can be opened without sharing. A link or folder in its place stays.
Leftover RemoveAbandoned(const std::wstring& path) {
    const Handle file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) return Leftover::Gone;
        return err == ERROR_SHARING_VIOLATION ? Leftover::Live : Leftover::Foreign;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return Leftover::Foreign;
    FILE_DISPOSITION_INFO remove{TRUE};
    return ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &remove, sizeof remove)
               ? Leftover::Gone
               : Leftover::Foreign;
}

// Removes the random-named temporaries of this name that killed saves left; true when
// one is still held by a running save.
bool RemoveLeftovers(const Place& place) {
    const std::wstring pattern = place.folder + L"\\." + place.name + L".*.qvtmp";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    const std::string narrow = Narrow(place.name);
    bool live = false;
    do {
        if (IsTempName(Narrow(found.cFileName), narrow))
            live |= RemoveAbandoned(place.Full(found.cFileName)) == Leftover::Live;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return live;
}

// Leaves the mark that random-named temporaries may be about.
void MarkForSweep(const Place& place) {
    const HANDLE mark = ::CreateFileW(place.Full(Wide(SweepMarkName(Narrow(place.name)))).c_str(),
                                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) ::CloseHandle(mark);
}

// Looks for random-named leftovers when a save that used one left the mark. The mark
// goes first and comes back while a running save holds one, so a save that makes one
// meanwhile (it marks again after making it) is never missed.
void SweepWhenMarked(const Place& place) {
    const std::wstring mark = place.Full(Wide(SweepMarkName(Narrow(place.name))));
    if (::GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetLastError() == ERROR_FILE_NOT_FOUND)
        return;
    if (!::DeleteFileW(mark.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) return;
    if (RemoveLeftovers(place)) MarkForSweep(place);
}

// A temporary file of this save, created exclusively and shared with nobody while it is
// open, so no other save can delete it: the file's slot, or a random name while another
// save holds that. Removed when it goes away, unless its name was handed over to the
// file it became.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        handle_.Close();
        Discard();
        // The mark of a random name goes with the last save that used one.
        if (random_) SweepWhenMarked(place_);
    }

    int Create(const Place& place) {
        const std::string name = Narrow(place.name);
        const std::wstring slot = place.Full(Wide(SlotName(name)));
        for (int attempt = 0; attempt < 4; ++attempt) {
            const int err = Take(slot);
            if (err != ERROR_FILE_EXISTS) return err;
            if (RemoveAbandoned(slot) != Leftover::Gone) break;
        }
        // Another save holds the slot: a random name, marked first so that a kill right
        // after its creation is not lost.
        place_ = place;
        random_ = true;
        MarkForSweep(place);
        RemoveLeftovers(place);
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int err = Take(place.Full(Wide(TempName(name))));
            if (err == 0) MarkForSweep(place);
            if (err != ERROR_FILE_EXISTS) return err;
        }
        return ERROR_FILE_EXISTS;
    }
    HANDLE handle() const { return handle_.get(); }
    const std::wstring& path() const { return path_; }
    int Close() { return handle_.Close(); }
    void Release() { path_.clear(); }
    void Discard() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
        path_.clear();
    }

  private:
    // Creates the file at path, unshared; ERROR_FILE_EXISTS when the name is taken.
    int Take(const std::wstring& path) {
        const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const int err = LastError();
            return err == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : err;
        }
        handle_.Reset(handle);
        path_ = path;
        return 0;
    }

    Handle handle_;
    std::wstring path_;
    Place place_;
    bool random_ = false;
};

int EnsureBackup(HANDLE source, const std::wstring& target, const Place& place,
                 std::string& failPath) {
    const std::wstring backup = place.Full(place.name);
    const DWORD attributes = ::GetFileAttributesW(backup.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : 0;
    }
    if (const int err = LastError(); err != ERROR_FILE_NOT_FOUND) return err;

    TempFile temp;
    if (const int err = temp.Create(place)) {
        failPath = Narrow(place.folder);
        return err;
    }
    bool readFailed = true;
    const int copied = ReadWhole(source, [&](std::string_view piece) {
        const int err = WriteAll(temp.handle(), piece);
        readFailed = err == 0;
        return err;
    });
    if (copied != 0) {
        if (readFailed) failPath = Narrow(target);
        return copied;
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
int FinalPath(HANDLE file, std::wstring& target) {
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD size = ::GetFinalPathNameByHandleW(file, nullptr, 0, flags);
    if (size == 0) return LastError();
    std::wstring buffer(size, L'\0');
    const DWORD used = ::GetFinalPathNameByHandleW(file, buffer.data(), size, flags);
    if (used == 0 || used >= size) return LastError();
    target.assign(buffer.data(), used);
    return 0;
}

// The identity of what the path leads to now; open is the file, opened for reading.
int Current(const std::wstring& path, Handle& open, FileIdentity& now, bool& viaLink) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    viaLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    open.Reset(::CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!open.valid()) return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(open.get(), &info)) return LastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
    now = IdentityOf(info, viaLink);
    now.mode = info.dwFileAttributes;
    return 0;
}

}  // namespace

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

namespace {

// The lock every save of the file takes for its last check and its replace: a mutex
// named after the file's full path, so that among saves of one file no check passes
// before another's replace is done. Held until it goes away; an abandoned one (its save
// was killed) is taken over.
class ReplaceLock {
  public:
    explicit ReplaceLock(const std::wstring& file) {
        std::wstring key = file;
        ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        const std::uint64_t hash = ContentHash(std::string_view(
            reinterpret_cast<const char*>(key.data()), key.size() * sizeof(wchar_t)));
        wchar_t name[64];
        ::swprintf(name, 64, L"Local\\Quorvel-save-%016llx", static_cast<unsigned long long>(hash));
        mutex_ = ::CreateMutexW(nullptr, FALSE, name);
        if (mutex_ == nullptr) return;
        const DWORD waited = ::WaitForSingleObject(mutex_, 5000);
        held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ReplaceLock(const ReplaceLock&) = delete;
    ReplaceLock& operator=(const ReplaceLock&) = delete;
    ~ReplaceLock() {
        if (held_) ::ReleaseMutex(mutex_);
        if (mutex_ != nullptr) ::CloseHandle(mutex_);
    }
    // 0, or why the lock could not be had.
    int error() const { return mutex_ == nullptr ? LastError() : held_ ? 0 : ERROR_LOCK_VIOLATION; }

  private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

}  // namespace

SaveResult Save(const std::string& path, const Content& content, LoadedFile& loaded,
                MessageSink* sink, SaveStep& stage) {
    stage = SaveStep::CheckFile;
    const std::wstring widePath = Wide(path);
    Handle source;
    FileIdentity checked;
    bool viaLink = false;
    bool fresh = false;  // no file there yet: only a save without backup makes one
    if (const int err = Current(widePath, source, checked, viaLink)) {
        if (content.backup || (err != ERROR_FILE_NOT_FOUND))
            return Failed(SaveStep::CheckFile, err, path);
        fresh = true;
    }
    if (!fresh) {
        // A device or pipe named like a file is not written as one.
        if (const DWORD type = ::GetFileType(source.get()); type != FILE_TYPE_DISK) {
            SaveResult refused = Failed(SaveStep::CheckFile, ERROR_INVALID_FUNCTION, path);
            refused.description = NotRegularText(path, type);
            if (sink) sink->ShowMessage(kAppTitle, refused.description, MessageIcon::Exclamation);
            refused.told = sink != nullptr;
            return refused;
        }
    }
    const DWORD attributes = static_cast<DWORD>(checked.mode);
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        return Failed(SaveStep::CheckFile, ERROR_ACCESS_DENIED, path);
    }
    const FileIdentity& expected = loaded.identity;
    if (content.refuse) {
        if (auto refused = content.refuse(expected.known ? expected.size : checked.size))
            return *refused;
    }

    bool replaceLink = false, foreign = false;
    if (sink != nullptr && expected.known) {
        FileIdentity now = checked;
        now.viaLink = viaLink;
        std::wstring linkTarget;
        if (viaLink) FinalPath(source.get(), linkTarget);
        const auto readAll = [&](const Writer& take) { return ReadWhole(source.get(), take); };
        if (auto stop = ConfirmLoadedFile(now, expected, readAll, *sink, path, Narrow(linkTarget),
                                          replaceLink, foreign))
            return *stop;
    }
    std::wstring target = widePath;
    if (viaLink && !replaceLink) {
        if (const int err = FinalPath(source.get(), target)) {
            return Failed(SaveStep::CheckFile, err, path);
        }
    }

    const Place targetPlace = SplitPath(target);
    const std::wstring targetFull = targetPlace.Full(targetPlace.name);
    SweepWhenMarked(targetPlace);

    stage = SaveStep::Backup;
    if (content.backup && !replaceLink && !foreign) {
        const std::string backup = path + std::string(kBackupSuffix);
        const Place backupPlace = SplitPath(Wide(backup));
        if (backupPlace.folder != targetPlace.folder) SweepWhenMarked(backupPlace);
        std::string failPath = backup;
        if (const int err = EnsureBackup(source.get(), targetFull, backupPlace, failPath)) {
            return Failed(SaveStep::Backup, err, failPath);
        }
    }
    source.Close();

    stage = SaveStep::Write;
    const std::string shownTarget = Narrow(targetFull);
    TempFile temp;
    if (const int err = temp.Create(targetPlace)) {
        return Failed(SaveStep::Write, err, Narrow(targetPlace.folder));
    }
    std::uint64_t hash = kHashStart;
    const int written = content.write([&](std::string_view piece) {
        hash = ContentHash(piece, hash);
        return WriteAll(temp.handle(), piece);
    });
    if (written != 0) return Failed(SaveStep::Write, written, shownTarget);
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
    // The last check and the replace under one lock: another save of this file waits,
    // then finds it replaced.
    bool check = sink != nullptr && expected.known;
    for (;;) {
        const ReplaceLock lock(targetFull);
        if (const int err = lock.error()) return Failed(SaveStep::Replace, err, path);
        if (check) {
            Handle again;
            FileIdentity now;
            bool nowLink = false;
            const int err = Current(widePath, again, now, nowLink);
            if (err != 0 && err != ERROR_FILE_NOT_FOUND)
                return Failed(SaveStep::Replace, err, path);
            std::optional<Change> change;
            if (err != 0) {
                change = Change::Gone;
            } else if (nowLink &&
                       (!viaLink || now.device != checked.device || now.file != checked.file)) {
                change = Change::Linked;
            } else if (now.device != checked.device || now.file != checked.file ||
                       nowLink != viaLink) {
                change = Change::Replaced;
            } else if (!SameState(now, checked)) {
                change = Change::Edited;
            }
            if (change) {
                std::wstring linkTarget;
                if (*change == Change::Linked) FinalPath(again.get(), linkTarget);
                again.Close();
                if (!AskOverwrite(*sink, path, *change, Narrow(linkTarget))) return Declined(path);
                checked = now;
                viaLink = nowLink;
                check = err == 0;
                continue;
            }
        }
        // ReplaceFileW keeps the file's ACL, attributes and alternate streams; a link put
        // in the file's place is replaced itself, and a missing file is made.
        const bool move =
            replaceLink || fresh ||
            (!check && ::GetFileAttributesW(targetFull.c_str()) == INVALID_FILE_ATTRIBUTES);
        const BOOL replaced =
            move ? ::MoveFileExW(temp.path().c_str(), targetFull.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                 : ::ReplaceFileW(targetFull.c_str(), temp.path().c_str(), nullptr,
                                  REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!replaced) return Failed(SaveStep::Replace, LastError(), shownTarget);
        break;
    }
    temp.Release();
    Handle saved;
    FileIdentity now;
    bool nowLink = false;
    if (Current(widePath, saved, now, nowLink) == 0) {
        loaded.identity = now;
        loaded.identity.hash = hash;
    } else {
        loaded.identity = {};
    }
    return {};
}

}  // namespace quorvel::save
