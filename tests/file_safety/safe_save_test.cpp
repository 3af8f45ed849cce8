#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "GuardedRead.h"
#include "SizeLimits.h"
#include "test_support.h"

namespace quorvel {
namespace {

using SafeSave = TempDir;

// Reads the file as a command does, for a save that compares it with the load.
LoadedFile Load(const std::string& path, MessageSink& sink, Entries* read = nullptr) {
    LoadedFile loaded;
    Entries list;
    Vehicle vehicle;
    EXPECT_TRUE(
        ReadEntriesGuarded(path, read ? *read : list, vehicle, kGerman, sink, &loaded.identity));
    return loaded;
}

TEST_F(SafeSave, KeepsTheFirstVersionOnceAndWritesTheLayout) {
    // name, a "_Orig" was there before, the file is reached through a link in another folder
    const std::tuple<const char*, bool, bool, std::vector<Entries>> cases[] = {
        {"three saves, the last empty", false, false, {Sample("90"), Sample("100"), Entries{}}},
        {"an earlier backup", true, false, {Sample("90"), Sample("100")}},
#ifndef _WIN32  // symbolic links need a privilege there
        {"through a link", false, true, {Sample("90"), Sample("100")}},
#endif
    };
    for (const auto& [name, backupBefore, throughLink, saves] : cases) {
        SCOPED_TRACE(name);
        const fs::path data = fs::path(name) / "data";
        const fs::path view = throughLink ? fs::path(name) / "view" : data;
        fs::permissions(Put(data / "Lok.txt", kOld), fs::perms(0640));
        const fs::perms mode = fs::status(dir / data / "Lok.txt").permissions();  // 0640 on POSIX
        fs::create_directories(dir / view);
        if (throughLink) fs::create_symlink("../data/Lok.txt", dir / view / "Lok.txt");
        if (backupBefore) Put(view / "Lok.txt_Orig", "an older backup");
        const std::string path = Utf8(dir / view / "Lok.txt");
        for (const Entries& entries : saves) ASSERT_TRUE(SaveEntries(path, entries).ok());
        EXPECT_EQ(Get(Utf8(dir / data / "Lok.txt")), FormatEntries(saves.back()));
        EXPECT_EQ(Get(path + "_Orig"), backupBefore ? "an older backup" : kOld);
        EXPECT_EQ(fs::status(dir / data / "Lok.txt").permissions(), mode);
        EXPECT_EQ(fs::is_symlink(dir / view / "Lok.txt"), throughLink);
        EXPECT_EQ(Listing(dir / view), (Names{"Lok.txt", "Lok.txt_Orig"}));  // no temporaries
        EXPECT_TRUE(!throughLink || Listing(dir / data) == Names{"Lok.txt"});
        EXPECT_EQ(RestoreSource(path), path + "_Orig");
    }
}

TEST_F(SafeSave, RefusesWhatItMayNotWriteAndCreatesNothing) {
#ifdef _WIN32
    const int kMissing = ERROR_FILE_NOT_FOUND, kFolder = ERROR_ACCESS_DENIED, kReadOnly = kFolder;
#else
    const int kMissing = ENOENT, kFolder = EISDIR, kReadOnly = EACCES;
#endif
    // "Nul.txt" would be a device on Windows; 0444 there gives the read-only attribute.
    const std::string file = Put("Nullzeichen.txt", kOld), readOnly = Put("Nur.txt", kOld);
    fs::permissions(dir / "Nur.txt", fs::perms(0444));
    fs::create_directory(dir / "Ordner.txt");
    fs::create_directory(dir / "Nur.txt_Orig");  // a folder is no backup
    std::vector<std::pair<std::string, int>> cases = {
        {Utf8(dir / "Fehlt.txt"), kMissing},
        {Utf8(dir / "Ordner.txt"), kFolder},
        {file + '\0' + "x", 0},  // the system would see only the text before the NUL
        {readOnly, kReadOnly}};
#ifndef _WIN32  // root writes a read-only file anyway; symbolic links need a privilege on Windows
    if (::geteuid() == 0) cases.pop_back();
    fs::create_symlink("Fehlt.txt", dir / "Link.txt");
    cases.emplace_back(Utf8(dir / "Link.txt"), kMissing);
    ::mkfifo((dir / "Pipe.txt").c_str(), 0600);  // opened without waiting, then refused
    cases.emplace_back(Utf8(dir / "Pipe.txt"), EINVAL);
#endif
    const Names before = Listing(dir);
    for (const auto& [path, code] : cases) {
        const SaveResult result = SaveEntries(path, Sample("90"));
        EXPECT_EQ(result.step, SaveStep::CheckFile) << path;
        EXPECT_TRUE(code == 0 || result.errorCode == code) << path << result.errorCode;
        EXPECT_FALSE(result.description.empty() || result.path.empty()) << path;
        EXPECT_EQ(Listing(dir), before) << path;
    }
    EXPECT_TRUE(Get(file) == kOld && Get(readOnly) == kOld);
    EXPECT_TRUE(RestoreSource(file) == file && RestoreSource(readOnly) == readOnly);
}

#ifdef _WIN32
using Hold = HANDLE;  // a running save's temporary: open, shared with no deleter
Hold HoldFile(const std::string& path) {
    return CreateFileW(PathFromText(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
void Let(Hold held) {
    CloseHandle(held);
}
#else
using Hold = int;  // a running save's temporary: locked
Hold HoldFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR);
    return fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? fd : -1;
}
void Let(Hold held) {
    ::close(held);
}
#endif

// A leftover is removed only once its save let go of it. The slot a killed save left is
// taken over without a look through the folder; a slot held by a running save makes the
// save use a random name and look for random leftovers, and the save after it looks too.
TEST_F(SafeSave, RemovesOnlyAbandonedTemporaries) {
    const std::string hex = "0123456789abcdef", path = Utf8(dir / "Lok.txt");
    const std::string slot = ".Lok.txt.qvtmp", leftover = ".Lok.txt." + hex + ".qvtmp";
    const std::string live = ".Lok.txt.aaaaaaaaaaaaaaaa.qvtmp";
    // Not quite the pattern, another file's, an older version's: these stay.
    // clang-format off
    Names kept = {"Lok.txt", ".Lok.txt.0123456789abcdeg.qvtmp", ".Lok.txt.0123.qvtmp",
        ".Andere.txt." + hex + ".qvtmp", ".Andere.txt.qvtmp", "Lok.txt." + hex + ".qvtmp",
        "Lok.txt.qvtmp", ".Lok.txt.1234.0.qvtmp"};
    // clang-format on
    for (const std::string& name : kept) Put(name, "x");
    for (const std::string& name : {slot, std::string(".Lok.txt_Orig.qvtmp"), leftover, live})
        Put(name, "half");
    const Hold liveRandom = HoldFile(Utf8(dir / live));
    testing::StrictMock<FakeSink> silent;
    LoadedFile loaded;
    kept.insert("Lok.txt_Orig");
    // mass of the save, the slot is held by a running save, what is there afterwards
    const std::tuple<const char*, bool, Names> cases[] = {
        {"90", false, {leftover, live}},
        {"100", true, {slot, live, ".Lok.txt.qvsweep"}},
        {"110", false, {}}};
    for (const auto& [mass, slotHeld, extra] : cases) {
        SCOPED_TRACE(mass);
        const Hold held = slotHeld ? HoldFile(Put(slot, "live")) : Hold{};
        ASSERT_TRUE(SaveEntries(path, Sample(mass), loaded, silent).ok());
        EXPECT_EQ(Get(path), FormatEntries(Sample(mass)));
        Names expected = kept;
        expected.insert(extra.begin(), extra.end());
        EXPECT_EQ(Listing(dir), expected);
        if (!slotHeld) continue;
        EXPECT_EQ(Get(Utf8(dir / slot)), "live");
        Let(held);
        Let(liveRandom);  // both saves are gone: the next save looks and removes what they left
    }
}

// What another program did between the load and the save: only a change is asked about,
// Nein writes nothing, and a link put in the file's place is replaced, never written through.
// The backup lets nobody read what the loaded file did not, though the file was opened up.
TEST_F(SafeSave, AsksBeforeOverwritingAChangedFileAndNeinWritesNothing) {
    enum Change { kKept, kOpenedUp, kGone, kEdited, kReplaced, kLinked, kRetargeted };
    const std::tuple<const char*, Change, bool, bool> cases[] = {
        // name, what happened after the load, the answer, loaded through a link
        {"unchanged", kKept, false, false},
        {"edited in place, same size and time, Nein", kEdited, false, false},
        {"edited in place, Ja", kEdited, true, false},
        {"replaced, Nein", kReplaced, false, false},
        {"replaced, Ja", kReplaced, true, false},
        {"gone", kGone, true, false},
#ifndef _WIN32  // symbolic links need a privilege there
        {"its mode opened up", kOpenedUp, false, false},
        {"a link put in its place, Nein", kLinked, false, false},
        {"a link put in its place, Ja", kLinked, true, false},
        {"a link from the start", kKept, false, true},
        {"its link pointed elsewhere, Nein", kRetargeted, false, true},
        {"its link pointed elsewhere, Ja", kRetargeted, true, true},
#endif
    };
    const std::string other = "Masse (85)\nMotor{ Leistung (1000) }\n";  // kOld's size
    for (const auto& [name, change, answer, viaLink] : cases) {
        SCOPED_TRACE(name);
        const fs::path folder = dir / name;
        const std::string target = Put(fs::path(name) / "Ziel.txt", "Ziel ( 1 ) \r\n");
        const std::string path = Utf8(folder / "Lok.txt");
        Put(fs::path(name) / (viaLink ? "Daten.txt" : "Lok.txt"), kOld);
        if (viaLink) fs::create_symlink("Daten.txt", path);
        testing::StrictMock<FakeSink> sink;
        if (change == kOpenedUp) fs::permissions(path, fs::perms(0600));
        LoadedFile loaded = Load(path, sink);
        if (change == kOpenedUp) fs::permissions(path, fs::perms(0644));
        if (change == kEdited) {
            const auto time = fs::last_write_time(path);
            Put(fs::path(name) / "Lok.txt", other);
            fs::last_write_time(path, time);
        }
        if (change == kReplaced) fs::rename(Put(fs::path(name) / "Neu.txt", other), path);
        if (change == kLinked || change == kGone || change == kRetargeted) fs::remove(path);
        if (change == kLinked || change == kRetargeted) fs::create_symlink("Ziel.txt", path);
        const std::string before = Get(path);
        const Names listing = Listing(folder);
        const char* question =
            change == kEdited     ? " wurde seit dem Laden von einem anderen "
            : change == kReplaced ? " wurde seit dem Laden durch eine andere Datei "
                                  : " ist jetzt ein Verweis auf Ziel.txt, nicht mehr die geladene ";
        const bool asks = change >= kEdited;
        const bool written = change != kGone && (!asks || answer);
        if (asks)
            EXPECT_CALL(sink, AskYesNo("Quorvel", testing::HasSubstr(question)))
                .WillOnce(testing::Return(answer));
        EXPECT_EQ(SaveEntries(path, Sample("90"), loaded, sink).ok(), written);
        EXPECT_EQ(Get(path), written ? FormatEntries(Sample("90")) : before);
        // Never written through a link to a file that was not loaded, nor copied as backup.
        EXPECT_EQ(Get(target), "Ziel ( 1 ) \r\n");
        EXPECT_EQ(fs::exists(path + "_Orig"),
                  written && change != kReplaced && change != kLinked && change != kRetargeted);
        EXPECT_TRUE(change != kOpenedUp ||
                    fs::status(path + "_Orig").permissions() == fs::perms(0600));
        EXPECT_EQ(fs::is_symlink(path),
                  (viaLink && change == kKept) ||
                      (asks && !answer && (change == kLinked || change == kRetargeted)));
        // What was saved is the loaded file now: the next save asks nothing.
        EXPECT_TRUE(written ? SaveEntries(path, Sample("100"), loaded, sink).ok()
                            : Listing(folder) == listing);
    }
}

// Deep nesting indents each line by its depth: a 40 KB file would become 200 MB.
TEST_F(SafeSave, RefusesAnAbsurdOutputBeforeWritingAnything) {
    std::string nested;
    for (int i = 0; i < 20000; ++i) nested += "a{";
    const std::string path = Put("Lok.txt", nested);
    testing::StrictMock<FakeSink> sink;
    Entries list;
    LoadedFile loaded = Load(path, sink, &list);
    EXPECT_CALL(sink,
                ShowMessage("Quorvel",
                            testing::StartsWith("Die Datei " + path + " wurde nicht gespeichert"),
                            MessageIcon::Exclamation));
    const SaveResult told = SaveEntries(path, list, loaded, sink), plain = SaveEntries(path, list);
    EXPECT_TRUE(told.step == SaveStep::TooLarge && told.told);
    EXPECT_TRUE(plain.step == SaveStep::TooLarge && !plain.told);
    EXPECT_THAT(plain.description, testing::HasSubstr("zu tief ineinander verschachtelt"));
    EXPECT_TRUE(Listing(dir) == Names{"Lok.txt"} && Get(path) == nested);
    // Beyond both 64 MB and 16 times the loaded size: output, loaded size, refused
    const std::uint64_t MB = 1 << 20;
    const std::tuple<std::uint64_t, std::uint64_t, bool> bounds[] = {
        {64 * MB, 0, false},          {64 * MB + 1, 0, true},      {64 * MB + 1, 4 * MB, true},
        {64 * MB + 1, 5 * MB, false}, {1024 * MB, 64 * MB, false}, {1024 * MB + 1, 64 * MB, true}};
    for (const auto& [output, loadedSize, refused] : bounds)
        EXPECT_EQ(SaveTooLarge(output, loadedSize), refused) << output << " " << loadedSize;
}

#ifndef _WIN32
// Runs the check in a child as another user; true when it gives true there.
bool AsUser(uid_t user, const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(::setgroups(0, nullptr) == 0 && ::setresgid(user, user, user) == 0 &&
                           ::setresuid(user, user, user) == 0 && check()
                       ? 0
                       : 1);
    int status = -1;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
bool OpensAs(uid_t user, const std::string& path) {
    return AsUser(user, [&] { return ::open(path.c_str(), O_RDWR) >= 0; });
}

std::string Attribute(const std::string& path, const char* name) {
    std::string value(256, '\0');
    const ssize_t size = ::getxattr(path.c_str(), name, value.data(), value.size());
    value.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
    return value;
}

// Set-user-ID, set-group-ID and sticky bits are never carried; an administrator's save of
// another user's file leaves file and backup that user's.
TEST_F(SafeSave, KeepsOwnerAndBitsButNoSetIdBits) {
    const uid_t me = ::geteuid(), nobody = 65534;
    const std::tuple<const char*, mode_t, uid_t, mode_t, bool> cases[] = {
        // name, mode, owner, mode of file and backup afterwards, saved as text (no backup)
        {"own, all three", 07755, me, 0755, false},
        {"another's set-user-ID", 04755, nobody, 0755, false},
        {"another's private", 0600, nobody, 0600, false},
        {"another's private, as text", 0640, nobody, 0640, true},
    };
    for (const auto& [name, mode, owner, after, text] : cases) {
        if (owner != me && me != 0) continue;  // only an administrator saves another's file
        SCOPED_TRACE(name);
        const std::string path = Put(fs::path(name) / "Lok.txt", kOld);
        ASSERT_EQ(::chown(path.c_str(), owner, owner) | ::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(text ? SaveText(path, "<svg/>").ok() : SaveEntries(path, Sample("90")).ok());
        EXPECT_EQ(Get(path), text ? "<svg/>" : FormatEntries(Sample("90")));
        EXPECT_EQ(Listing(dir / name),
                  (text ? Names{"Lok.txt"} : Names{"Lok.txt", "Lok.txt_Orig"}));
        // A missing file is made, as the user's own.
        EXPECT_TRUE(!text ||
                    (SaveText(path + ".svg", "<svg/>").ok() && Get(path + ".svg") == "<svg/>"));
        for (const std::string& file : {path, path + "_Orig"}) {
            if (text) break;
            struct stat info {};
            ASSERT_EQ(::stat(file.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, after) << file;
            EXPECT_TRUE(info.st_uid == owner && info.st_gid == owner) << file;
            EXPECT_TRUE(owner == me || OpensAs(owner, file)) << file;
        }
    }
}

// A user granted access by an ACL entry keeps it, and user.* attributes stay.
TEST_F(SafeSave, CarriesAclAndExtendedAttributes) {
    const std::string path = Put("Lok.txt", kOld);
    // user::rw- user:1001:rw- group::r-- mask::rw- other::---, as the kernel stores it
    std::string acl("\x02\0\0\0", 4);
    for (const auto& [tag, permissions, id] :
         {std::tuple{1, 6, ~0u}, {2, 6, 1001u}, {4, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}}) {
        const std::uint16_t entry[2] = {static_cast<std::uint16_t>(tag),
                                        static_cast<std::uint16_t>(permissions)};
        acl.append(reinterpret_cast<const char*>(entry), 4);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    }
    if (::setxattr(path.c_str(), "user.quorvel", "Wert", 4, 0) != 0 ||
        ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "no extended attributes or ACLs here: " << std::strerror(errno);
    ASSERT_TRUE(SaveEntries(path, Sample("90")).ok());
    for (const std::string& file : {path, path + "_Orig"}) {
        EXPECT_EQ(Attribute(file, "user.quorvel"), "Wert") << file;
        EXPECT_EQ(Attribute(file, "system.posix_acl_access"), acl) << file;
        EXPECT_TRUE(::geteuid() != 0 || OpensAs(1001, file)) << file;
    }
}

// In a shared sticky folder a plain user cannot remove another user's sweep mark; the
// user's own abandoned temporaries are swept all the same.
TEST_F(SafeSave, AnotherUsersMarkDoesNotKeepLeftovers) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs two users";
    const uid_t user = 65534, other = 1001;
    fs::permissions(dir, fs::perms(01777));
    const std::string path = Put("Lok.txt", kOld);
    const std::string leftover = Put(".Lok.txt.0123456789abcdef.qvtmp", "half");
    ASSERT_EQ(::chown(path.c_str(), user, user) | ::chown(leftover.c_str(), user, user) |
                  ::chown(Put(".Lok.txt.qvsweep", "").c_str(), other, other),
              0);
    EXPECT_TRUE(AsUser(user, [&] { return SaveEntries(path, Sample("90")).ok(); }));
    EXPECT_EQ(Listing(dir), (Names{"Lok.txt", "Lok.txt_Orig", ".Lok.txt.qvsweep"}));
}

#endif

}  // namespace
}  // namespace quorvel
