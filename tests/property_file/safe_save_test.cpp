#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cerrno>
#include <cstdlib>

#include "test_support.h"

namespace quorvel {
namespace {

using SafeSave = TempDir;

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

TEST_F(SafeSave, RemovesOnlyItsOwnStaleTemporaries) {
#ifdef _WIN32
    const std::string dead = Decimal(0xFFFFFFF0LL);  // process ids are multiples of four below
    Names kept;
#else
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // a process that is surely gone
    const std::string dead = Decimal(child);
    Names kept = {".Lok.txt." + Decimal(::getppid()) + ".0.qvtmp"};  // a live save's
#endif
    // Not quite the pattern, another file's: these stay.
    kept.insert({"Lok.txt", ".Lok.txt.x.0.qvtmp", ".Lok.txt.1.qvtmp",
                 ".Andere.txt." + dead + ".0.qvtmp", "Lok.txt." + dead + ".0.qvtmp"});
    for (const std::string& name : kept) Put(name, "x");
    Put(".Lok.txt." + dead + ".0.qvtmp", "half");
    Put(".Lok.txt_Orig." + dead + ".3.qvtmp", "half");
    ASSERT_TRUE(SaveEntries(Utf8(dir / "Lok.txt"), Sample("90")).ok());
    kept.insert("Lok.txt_Orig");
    EXPECT_EQ(Listing(dir), kept);
}

}  // namespace
}  // namespace quorvel
