#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>

#include "Mod_Quorvel.h"
#include "SafeSave.h"
#include "test_support.h"

namespace quorvel {
namespace {

using SafeSave = TempDir;

const std::string kOld = "Masse (80)\nMotor{ Leistung (1000) }\n";  // not in the written layout

Entries Sample(const std::string& mass) {
    return {{"Masse", mass, typ::Number}, {"Motor", "", typ::GroupOpen}, {"", "", typ::GroupClose}};
}

TEST_F(SafeSave, KeepsTheFirstVersionOnceAndWritesTheLayout) {
    // name, a "_Orig" was there before, the file is reached through a link in another folder
    const std::tuple<const char*, bool, bool, std::vector<Entries>> cases[] = {
        {"first save", false, false, {Sample("90")}},
        {"three saves", false, false, {Sample("90"), Sample("100"), Sample("110")}},
        {"an earlier backup", true, false, {Sample("90"), Sample("100")}},
        {"an empty list", false, false, {Entries{}}},
        {"through a link", false, true, {Sample("90"), Sample("100")}},
    };
    for (const auto& [name, backupBefore, throughLink, saves] : cases) {
        SCOPED_TRACE(name);
#ifdef _WIN32
        if (throughLink) continue;  // symbolic links need a privilege there
#endif
        const fs::path data = fs::path(name) / "data";
        const fs::path view = throughLink ? fs::path(name) / "view" : data;
        fs::permissions(Put(data / "Lok.txt", kOld), fs::perms(0640));
        fs::create_directories(dir / view);
        if (throughLink) fs::create_symlink("../data/Lok.txt", dir / view / "Lok.txt");
        if (backupBefore) Put(view / "Lok.txt_Orig", "an older backup");
        const std::string path = Utf8(dir / view / "Lok.txt");
        for (const Entries& entries : saves) {
            const SaveResult result = SaveEntries(path, entries);
            ASSERT_TRUE(result.ok()) << result.description << " " << result.path;
        }
        EXPECT_EQ(Get(Utf8(dir / data / "Lok.txt")), FormatEntries(saves.back()));
        EXPECT_EQ(Get(path + "_Orig"), backupBefore ? "an older backup" : kOld);
#ifndef _WIN32
        EXPECT_EQ(fs::status(dir / data / "Lok.txt").permissions(), fs::perms(0640));
#endif
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

#ifdef _WIN32
long long OtherProcess() {  // one that runs now
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    BOOL more = ::Process32FirstW(snapshot, &entry);
    while (more && (entry.th32ProcessID == 0 || entry.th32ProcessID == ::GetCurrentProcessId()))
        more = ::Process32NextW(snapshot, &entry);
    ::CloseHandle(snapshot);
    return more ? entry.th32ProcessID : 0;
}
#endif

TEST_F(SafeSave, RemovesOnlyItsOwnStaleTemporaries) {
#ifdef _WIN32
    // Process ids are multiples of four far below this one.
    const std::string dead = Decimal(0xFFFFFFF0LL), alive = Decimal(OtherProcess());
    ASSERT_NE(alive, "0");
#else
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // a process that is surely gone
    const std::string dead = Decimal(child), alive = Decimal(::getppid());
#endif
    // A live save's, not quite the pattern, another file's: these stay.
    // clang-format off
    const Names kept = {"Lok.txt", "Lok.txt_Orig", ".Lok.txt." + alive + ".0.qvtmp", ".Lok.txt.x.0.qvtmp",
                        ".Lok.txt.1.qvtmp", ".Andere.txt." + dead + ".0.qvtmp", "Lok.txt." + dead + ".0.qvtmp"};
    // clang-format on
    for (const std::string& name : kept) Put(name, "x");
    fs::remove(dir / "Lok.txt_Orig");
    for (const std::string& name :
         {".Lok.txt." + dead + ".0.qvtmp", ".Lok.txt_Orig." + dead + ".3.qvtmp"})
        Put(name, "half");
    ASSERT_TRUE(SaveEntries(Utf8(dir / "Lok.txt"), Sample("90")).ok());
    EXPECT_EQ(Listing(dir), kept);
}

}  // namespace
}  // namespace quorvel
