#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include "Mod_Datei.h"
#include "SaveSteps.h"

namespace quorvel::save {

std::string Describe(int code) {
    return std::generic_category().message(code);
}

namespace {

int Errno() {
    return errno != 0 ? errno : EIO;
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// The status of the open file (path empty) or of the entry at path, not following a
// link; a second system call when the first fails, so that a lasting fault of one cannot
// leave a temporary file whose identity is unknown.
int StatOf(int fd, const char* path, struct stat& info) {
    if ((*path == '\0' ? ::fstat(fd, &info) : ::lstat(path, &info)) == 0) return 0;
    const int first = Errno();
    if (first == ENOENT || first == ENOTDIR) return first;
    struct statx x {};
    const int flags = *path == '\0' ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (::statx(*path == '\0' ? fd : AT_FDCWD, path, flags, STATX_INO | STATX_TYPE, &x) != 0)
        return first;
    info = {};
    info.st_dev = ::makedev(x.stx_dev_major, x.stx_dev_minor);
    info.st_ino = x.stx_ino;
    info.st_mode = x.stx_mode;
    return 0;
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The same file, unchanged as far as its metadata tells.
bool SameState(const struct stat& a, const struct stat& b) {
    return SameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

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

// Hands the whole file to take, from its start, whatever was read from it before.
template <typename Take>
int ReadWhole(int fd, Take take) {
    char buffer[64 * 1024];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Errno();
        }
        if (n == 0) return 0;
        at += n;
        if (const int err = take(std::string_view(buffer, static_cast<std::size_t>(n)))) return err;
    }
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

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

// The place with its folder resolved, so every name in it is absolute.
int Resolve(Place& place) {
    const std::unique_ptr<char, FreeDeleter> folder(::realpath(place.folder.c_str(), nullptr));
    if (!folder) return Errno();
    place.folder = folder.get();
    return 0;
}

enum class Leftover { Gone, Live, Foreign };

// Removes the temporary at path when no save holds its lock any more. The lock is held
// while the name is checked and removed, so a save that made the file just now and
// locks it after us finds its name gone and makes another.
Leftover RemoveAbandoned(int at, const char* name) {
    const Fd fd(::openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return errno == ENOENT ? Leftover::Gone : Leftover::Foreign;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? Leftover::Live : Leftover::Foreign;
    }
    struct stat held {
    }, named{};
    if (::fstat(fd.get(), &held) != 0) return Leftover::Foreign;
    if (::fstatat(at, name, &named, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Leftover::Gone : Leftover::Foreign;
    }
    if (!SameInode(held, named)) return Leftover::Gone;  // another file took the name
    if (!S_ISREG(named.st_mode)) return Leftover::Foreign;
    return ::unlinkat(at, name, 0) == 0 || errno == ENOENT ? Leftover::Gone : Leftover::Foreign;
}

// Removes the random-named temporaries of this name that killed saves left; true when
// one is still held by a running save. Best effort: a save does not fail because of them.
bool RemoveLeftovers(const std::string& folder, const std::string& name) {
    struct DirCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return false;
    bool live = false;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsTempName(entry->d_name, name))
            live |= RemoveAbandoned(::dirfd(dir.get()), entry->d_name) == Leftover::Live;
    }
    return live;
}

// Leaves the mark that random-named temporaries may be about.
void MarkForSweep(const Place& place) {
    const std::string mark = place.Full(SweepMarkName(place.name));
    const int fd =
        ::open(mark.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
}

// Looks for random-named leftovers when a save that used one left the mark. The mark
// goes first and comes back while a running save holds one, so a save that makes one
// meanwhile (it marks again after making it) is never missed. An error other than
// "no mark" looks as well.
void SweepWhenMarked(const Place& place) {
    const std::string mark = place.Full(SweepMarkName(place.name));
    const int fd = ::open(mark.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
    if (fd < 0 && errno == ENOENT) return;
    // A mark this user may not remove (another user's, in a shared sticky folder) still
    // lets the sweep run; it only cannot come back.
    const bool removed = ::unlink(mark.c_str()) == 0 || errno == ENOENT;
    if (RemoveLeftovers(place.folder, place.name) && removed) MarkForSweep(place);
}

// A temporary file of this save, created exclusively and locked for as long as the save
// runs: the file's slot, or a random name while another save holds that. It is removed
// when it goes away, unless its name was handed over to the file it became.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        Discard();  // still locked: nobody else can have taken the name
        if (fd_ >= 0) ::close(fd_);
        // The mark of a random name goes with the last save that used one.
        if (random_) SweepWhenMarked(place_);
    }

    int Create(const Place& place) {
        const std::string slot = place.Full(SlotName(place.name));
        for (int attempt = 0; attempt < 4; ++attempt) {
            const int err = Take(slot);
            if (err == 0) return 0;
            if (err != EEXIST) return err;
            if (RemoveAbandoned(AT_FDCWD, slot.c_str()) != Leftover::Gone) break;
        }
        // Another save holds the slot (or something that is no temporary sits there): a
        // random name, marked first so that a kill right after its creation is not lost.
        place_ = place;
        random_ = true;
        MarkForSweep(place);
        RemoveLeftovers(place.folder, place.name);
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int err = Take(place.Full(TempName(place.name)));
            if (err == 0) MarkForSweep(place);
            if (err != EEXIST) return err;
        }
        return EEXIST;
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    void Release() { path_.clear(); }
    void Discard() {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_.clear();
    }

  private:
    // Creates and locks the file at path; EEXIST when the name stays taken.
    int Take(const std::string& path) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (!fd.valid()) return Errno();
            // A save that took it for a leftover before the lock was held has removed the
            // name (and may have made a file of it again): then this one tries anew.
            int err = 0;
            while (::flock(fd.get(), LOCK_EX) != 0 && (err = Errno()) == EINTR) err = 0;
            struct stat held {
            }, named{};
            if (err == 0) err = StatOf(fd.get(), "", held);
            if (err == 0) {
                err = StatOf(AT_FDCWD, path.c_str(), named);
                if (err == ENOENT) continue;
            }
            if (err != 0) {
                // Removed only while it is still this save's file.
                if (StatOf(fd.get(), "", held) == 0 && StatOf(AT_FDCWD, path.c_str(), named) == 0 &&
                    SameInode(held, named))
                    ::unlink(path.c_str());
                return err;
            }
            if (!SameInode(held, named)) continue;
            fd_ = fd.release();
            path_ = path;
            return 0;
        }
        return EEXIST;
    }

    int fd_ = -1;
    std::string path_;
    Place place_;
    bool random_ = false;
};

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

// The file's owner and group for a copy of it, as far as this user may give them: a
// plain user can still pass on a group it belongs to.
void KeepOwner(int fd, uid_t owner, gid_t group) {
    if (owner == ::geteuid() && group == ::getegid()) return;
    if (::fchown(fd, owner, group) == 0) return;
    if (::fchown(fd, static_cast<uid_t>(-1), group) != 0) {
        // Not allowed either: the copy stays this user's.
    }
}

// The group class bits of a file whose ACL (as stored in system.posix_acl_access) is
// lost: the owning group's own entry, so nobody gets more than before.
mode_t WithoutAcl(std::string_view acl, mode_t mode) {
    constexpr std::uint16_t kGroupObject = 0x04, kMask = 0x10;
    std::uint16_t group = 7, mask = 7;
    for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
        std::uint16_t tag = 0, permissions = 0;
        std::memcpy(&tag, acl.data() + at, 2);
        std::memcpy(&permissions, acl.data() + at + 2, 2);
        if (tag == kGroupObject) group = permissions & 7;
        if (tag == kMask) mask = permissions & 7;
    }
    return (mode & ~mode_t{070}) | static_cast<mode_t>((group & mask) << 3);
}

// Carries the extended attributes over, the ACL among them, as far as the system
// allows. An ACL that cannot be carried would leave the owning group the mask's rights
// in its bits: those are then narrowed to the group's own.
void CopyAttributes(int from, int to, mode_t mode) {
    std::string names;
    for (int tries = 0; tries < 4; ++tries) {
        const ssize_t size = ::flistxattr(from, nullptr, 0);
        if (size <= 0) return;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) return;
        names.clear();
    }
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name = names.c_str() + at;
        at += name.size() + 1;
        const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        if (size < 0) continue;
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (got < 0) continue;
        value.resize(static_cast<std::size_t>(got));
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0) continue;
        if (name == "system.posix_acl_access" && ::fchmod(to, WithoutAcl(value, mode)) != 0) {
            // The bits stay as they were set before.
        }
    }
}

// Gives the copy the file's owner, permission bits (never set-user-ID, set-group-ID or
// sticky) and attributes.
int TakeOver(int fd, const struct stat& of, int attributesFrom) {
    KeepOwner(fd, of.st_uid, of.st_gid);
    const mode_t mode = of.st_mode & 0777;
    if (::fchmod(fd, mode) != 0) return Errno();
    if (attributesFrom >= 0) CopyAttributes(attributesFrom, fd, mode);
    return 0;
}

// 0 once "<file>_Orig" holds a complete, durable copy (made now or at an earlier
// save); else the error, with failPath naming what it concerned.
int EnsureBackup(int source, const struct stat& of, const std::string& target, const Place& place,
                 std::string& failPath) {
    const std::string backup = place.Full(place.name);
    struct stat existing {};
    if (::stat(backup.c_str(), &existing) == 0) return S_ISREG(existing.st_mode) ? 0 : EEXIST;
    if (errno != ENOENT) return Errno();
    // A link to nowhere holds the name: it is not ours to replace. Unless another save
    // made the backup just now.
    if (::lstat(backup.c_str(), &existing) == 0) {
        return ::stat(backup.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) ? 0 : EEXIST;
    }
    if (errno != ENOENT) return Errno();

    TempFile temp;
    if (const int err = temp.Create(place)) {
        failPath = place.folder;
        return err;
    }
    bool readFailed = true;
    const int copied = ReadWhole(source, [&](std::string_view piece) {
        readFailed = false;
        const int err = WriteAll(temp.fd(), piece);
        readFailed = err == 0;
        return err;
    });
    if (copied != 0) {
        if (readFailed) failPath = target;
        return copied;
    }
    if (const int err = TakeOver(temp.fd(), of, source)) return err;
    if (const int err = Sync(temp.fd())) return err;
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

// Waits a bounded time for the lock of the file at path that every save takes for its
// last check and its rename, so that among saves of one file no check passes before
// another's rename is done. held is left closed when the path names nothing that can be
// opened (the check then finds the change); else it holds the lock on the file the path
// names now.
int LockNamedFile(const std::string& path, Fd& held) {
    for (int round = 0; round < 16; ++round) {
        Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (!fd.valid()) {
            const int err = Errno();
            return err == ENOENT || err == ENOTDIR || err == ELOOP || err == EACCES ||
                           err == EPERM || err == ENXIO
                       ? 0
                       : err;
        }
        // Other saves hold it for a check and a rename: microseconds.
        for (int wait = 0; ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0; ++wait) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK || wait == 5000) return Errno();
            const timespec pause{0, 1000000};
            ::nanosleep(&pause, nullptr);
        }
        struct stat locked {
        }, named{};
        if (::fstat(fd.get(), &locked) != 0) return Errno();
        if (::stat(path.c_str(), &named) != 0) {
            if (errno == ENOENT) return 0;
            return Errno();
        }
        if (SameInode(locked, named)) {
            held = std::move(fd);
            return 0;
        }
        // Replaced while we waited: lock the file that stands there now.
    }
    return 0;
}

// Where the path leads now, for the last check: the entry itself, and the file it names.
struct Named {
    bool exists = false;
    struct stat entry {};
    struct stat file {};
    bool fileExists = false;
};

int Look(const std::string& path, Named& named) {
    named = {};
    if (::lstat(path.c_str(), &named.entry) != 0) return errno == ENOENT ? 0 : Errno();
    named.exists = true;
    if (::stat(path.c_str(), &named.file) == 0) {
        named.fileExists = true;
        return 0;
    }
    return errno == ENOENT || errno == ELOOP ? 0 : Errno();
}

// The text of the link at path; empty when it is none.
std::string LinkText(const std::string& path) {
    std::string text(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n <= 0) return {};
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// How the path now differs from the state the save accepted: link is the entry then,
// checked the file it named; nothing when it is the same.
std::optional<Change> Differs(const Named& now, const struct stat& link, const struct stat& checked,
                              bool replaceLink) {
    if (!now.exists) return Change::Gone;
    const bool isLink = S_ISLNK(now.entry.st_mode);
    if (replaceLink) {
        if (isLink && SameInode(now.entry, link)) return std::nullopt;
        return isLink ? Change::Linked : Change::Replaced;
    }
    const bool wasLink = S_ISLNK(link.st_mode);
    if (isLink && (!wasLink || !now.fileExists || !SameInode(now.file, checked)))
        return Change::Linked;
    if (!now.fileExists || !SameInode(now.file, checked) || isLink != wasLink)
        return Change::Replaced;
    if (!SameState(now.file, checked)) return Change::Edited;
    return std::nullopt;
}

}  // namespace

SaveResult Save(const std::string& path, const Content& content, LoadedFile& loaded,
                MessageSink* sink, SaveStep& stage) {
    stage = SaveStep::CheckFile;
    struct stat link {};
    Fd source;
    struct stat checked {};
    bool fresh = false;  // no file there yet: only a save without backup makes one
    if (::lstat(path.c_str(), &link) != 0) {
        if (errno != ENOENT || content.backup) return Failed(SaveStep::CheckFile, Errno(), path);
        fresh = true;
    }
    const bool viaLink = !fresh && S_ISLNK(link.st_mode);
    if (!fresh) {
        // Opened once: compared, copied into the backup, its attributes carried over. Not
        // waiting: a path swapped for a pipe must not hold the save.
        source = Fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (!source.valid()) return Failed(SaveStep::CheckFile, Errno(), path);
        if (::fstat(source.get(), &checked) != 0) {
            return Failed(SaveStep::CheckFile, Errno(), path);
        }
        if (S_ISDIR(checked.st_mode)) return Failed(SaveStep::CheckFile, EISDIR, path);
        if (!S_ISREG(checked.st_mode)) {
            SaveResult refused = Failed(SaveStep::CheckFile, EINVAL, path);
            refused.description = NotRegularText(path, checked.st_mode);
            if (sink) sink->ShowMessage(kAppTitle, refused.description, MessageIcon::Exclamation);
            refused.told = sink != nullptr;
            return refused;
        }
        if (::access(path.c_str(), W_OK) != 0) return Failed(SaveStep::CheckFile, Errno(), path);
    }
    const FileIdentity& expected = loaded.identity;
    const std::uint64_t loadedSize =
        expected.known ? expected.size : static_cast<std::uint64_t>(checked.st_size);
    if (content.refuse) {
        if (auto refused = content.refuse(loadedSize)) return *refused;
    }

    bool replaceLink = false, foreign = false;
    if (sink != nullptr && expected.known) {
        const auto readAll = [&](const Writer& take) { return ReadWhole(source.get(), take); };
        if (auto stop =
                ConfirmLoadedFile(IdentityOf(checked, viaLink), expected, readAll, *sink, path,
                                  viaLink ? LinkText(path) : std::string(), replaceLink, foreign))
            return *stop;
    }

    // The backup sits beside the path the user opened (a link keeps its own backup);
    // the new content goes to the link's target, or replaces a link that came later.
    Place ownPlace = SplitPath(path);
    if (const int err = Resolve(ownPlace)) return Failed(SaveStep::CheckFile, err, ownPlace.folder);
    const std::string own = ownPlace.Full(ownPlace.name);
    Place targetPlace = ownPlace;
    std::string target = own;
    if (!replaceLink && viaLink) {
        const std::unique_ptr<char, FreeDeleter> real(::realpath(path.c_str(), nullptr));
        if (!real) return Failed(SaveStep::CheckFile, Errno(), path);
        target = real.get();
        targetPlace = SplitPath(target);
    }
    SweepWhenMarked(targetPlace);

    // A link put in the file's place, or another file, leaves no first version to keep.
    stage = SaveStep::Backup;
    if (content.backup && !replaceLink && !foreign) {
        const std::string backup = path + std::string(kBackupSuffix);
        Place backupPlace = SplitPath(backup);
        if (const int err = Resolve(backupPlace)) {
            return Failed(SaveStep::CheckFile, err, backupPlace.folder);
        }
        if (backupPlace.folder != targetPlace.folder) SweepWhenMarked(backupPlace);
        // Nobody may read the copy who could not read the loaded file.
        struct stat of = checked;
        if (expected.known) of.st_mode &= expected.mode | ~mode_t{0777};
        std::string failPath = backup;
        if (const int err = EnsureBackup(source.get(), of, target, backupPlace, failPath)) {
            return Failed(SaveStep::Backup, err, failPath);
        }
    }

    stage = SaveStep::Write;
    TempFile temp;
    if (const int err = temp.Create(targetPlace)) {
        return Failed(SaveStep::Write, err, targetPlace.folder);
    }
    std::uint64_t hash = kHashStart;
    const int written = content.write([&](std::string_view piece) {
        hash = ContentHash(piece, hash);
        return WriteAll(temp.fd(), piece);
    });
    if (written != 0) return Failed(SaveStep::Write, written, target);
    // An administrator saving someone's file keeps its owner; a plain user cannot give
    // files away, and then the file becomes theirs.
    struct stat of = checked;
    if (fresh) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        of.st_uid = ::geteuid();
        of.st_gid = ::getegid();
        of.st_mode = S_IFREG | (0666 & ~mask);
    } else if (replaceLink) {
        of.st_uid = expected.owner;
        of.st_gid = expected.group;
        of.st_mode = expected.mode;
    }
    if (const int err = TakeOver(temp.fd(), of, replaceLink || fresh ? -1 : source.get())) {
        return Failed(SaveStep::Write, err, target);
    }
    if (const int err = Sync(temp.fd())) return Failed(SaveStep::Write, err, target);
    struct stat saved {};
    if (::fstat(temp.fd(), &saved) != 0) return Failed(SaveStep::Write, Errno(), target);

    stage = SaveStep::Replace;
    // The last check and the rename under one lock: another save of this file waits, then
    // finds it replaced. Against programs that take no lock, nothing but the check stands
    // between it and the rename.
    bool check = sink != nullptr && expected.known;
    for (;;) {
        Fd lock;
        if (const int err = LockNamedFile(path, lock)) return Failed(SaveStep::Replace, err, path);
        Named now;
        if (check) {
            if (const int err = Look(path, now)) return Failed(SaveStep::Replace, err, path);
            if (const auto change = Differs(now, link, checked, replaceLink)) {
                lock = Fd();
                const std::string linkTarget =
                    *change == Change::Linked ? LinkText(path) : std::string();
                if (!AskOverwrite(*sink, path, *change, linkTarget)) return Declined(path);
                // Ja: what stands there now is to be replaced, and only that.
                if (*change == Change::Linked) {
                    replaceLink = true;
                    target = own;
                }
                link = now.entry;
                checked = now.fileExists ? now.file : now.entry;
                if (!now.exists) check = false;
                continue;
            }
        }
        if (::rename(temp.path().c_str(), target.c_str()) != 0) {
            return Failed(SaveStep::Replace, Errno(), target);
        }
        break;
    }
    temp.Release();
    loaded.identity = IdentityOf(saved, viaLink && !replaceLink);
    loaded.identity.hash = hash;
    if (const int err = SyncFolder(SplitPath(target).folder)) {
        return Failed(SaveStep::Replace, err, SplitPath(target).folder);
    }
    return {};
}

}  // namespace quorvel::save
