#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>

#include "Mod_Quorvel.h"
#include "SafeSave.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

const std::string kOld = "Masse (80)\nMotor{ Leistung (1000) }\n";  // not in the written layout
const std::string kForeign = "an older backup\r\n";

#ifdef _WIN32
constexpr int kMissing = ERROR_FILE_NOT_FOUND, kFolder = ERROR_ACCESS_DENIED,
              kReadOnly = ERROR_ACCESS_DENIED;
#else
constexpr int kMissing = ENOENT, kFolder = EISDIR, kReadOnly = EACCES;
#endif

Entries Sample(const std::string& mass) {
    return {{"Masse", mass, typ::Number}, {"Motor", "", typ::GroupOpen}, {"", "", typ::GroupClose}};
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Decimal(long long number) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, number).ptr};
}

std::set<std::string> Listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class SafeSave : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        do {
            dir_ = fs::temp_directory_path() / ("safe_save_" + Decimal(random()));
        } while (!fs::create_directory(dir_));
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
#ifdef _WIN32
        // Windows deletes no read-only file.
        for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
            if (!entry.is_symlink()) {
                fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add);
            }
        }
#endif
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

struct SaveCase {
    const char* name;
    bool backupBefore;  // a "_Orig" of that name was there before the first save
    bool throughLink;   // the file is opened through a symbolic link in another folder
    std::vector<Entries> saves;
};

TEST_F(SafeSave, KeepsFirstVersionAndWritesLayout) {
    const SaveCase cases[] = {
        {"first save", false, false, {Sample("90")}},
        {"three saves keep the first backup",
         false,
         false,
         {Sample("90"), Sample("100"), Sample("110")}},
        {"an earlier backup is never replaced", true, false, {Sample("90"), Sample("100")}},
        {"an empty list gives an empty file", false, false, {Entries{}}},
        {"through a link", false, true, {Sample("90"), Sample("100")}},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
#ifdef _WIN32
        if (c.throughLink) continue;  // symbolic links need a privilege there
#endif
        const fs::path data = dir_ / c.name / "data";
        const fs::path view = c.throughLink ? dir_ / c.name / "view" : data;
        fs::create_directories(data);
        fs::create_directories(view);
        Write(data / "Lok.txt", kOld);
        fs::permissions(data / "Lok.txt", fs::perms(0640));
        if (c.throughLink) fs::create_symlink("../data/Lok.txt", view / "Lok.txt");
        if (c.backupBefore) Write(view / "Lok.txt_Orig", kForeign);
        const std::string path = (view / "Lok.txt").string();

        for (const Entries& entries : c.saves) {
            const SaveResult result = SaveEntries(path, entries);
            ASSERT_TRUE(result.ok()) << result.description << " " << result.path;
        }
        EXPECT_EQ(Read(data / "Lok.txt"), FormatEntries(c.saves.back()));
        EXPECT_EQ(Read(view / "Lok.txt_Orig"), c.backupBefore ? kForeign : kOld);
#ifndef _WIN32
        EXPECT_EQ(fs::status(data / "Lok.txt").permissions(), fs::perms(0640));
#endif
        EXPECT_EQ(fs::is_symlink(view / "Lok.txt"), c.throughLink);
        // Nothing but the file, its backup (and the link): no temporary stays behind.
        const std::set<std::string> both = {"Lok.txt", "Lok.txt_Orig"};
        EXPECT_EQ(Listing(view), both);
        if (c.throughLink) {
            EXPECT_EQ(Listing(data), std::set<std::string>{"Lok.txt"});
        }
        EXPECT_EQ(RestoreSource(path), path + "_Orig");
    }
}

struct RefuseCase {
    const char* name;
    std::function<void(const fs::path& file)> make;
    int errorCode;
    bool symlink = false;
};

TEST_F(SafeSave, RefusesWhatItMayNotWriteAndCreatesNothing) {
    const RefuseCase cases[] = {
        {"missing file", [](const fs::path&) {}, kMissing},
        {"a folder", [](const fs::path& file) { fs::create_directory(file); }, kFolder},
        {"a link to nowhere", [](const fs::path& file) { fs::create_symlink("Fehlt.txt", file); },
         kMissing, true},
        // On Windows: the read-only attribute.
        {"read-only file",
         [](const fs::path& file) {
             Write(file, kOld);
             fs::permissions(file, fs::perms(0444));
         },
         kReadOnly},
    };
    for (const RefuseCase& c : cases) {
        SCOPED_TRACE(c.name);
#ifdef _WIN32
        if (c.symlink) continue;  // symbolic links need a privilege there
#else
        if (c.errorCode == EACCES && ::geteuid() == 0) continue;  // root writes anyway
#endif
        const fs::path folder = dir_ / c.name;
        fs::create_directory(folder);
        c.make(folder / "Lok.txt");
        const auto before = Listing(folder);

        const SaveResult result = SaveEntries((folder / "Lok.txt").string(), Sample("90"));
        EXPECT_EQ(result.step, SaveStep::CheckFile);
        EXPECT_EQ(result.errorCode, c.errorCode);
        EXPECT_FALSE(result.description.empty());
        EXPECT_FALSE(result.path.empty());
        EXPECT_EQ(Listing(folder), before);
        if (fs::is_regular_file(folder / "Lok.txt")) {
            EXPECT_EQ(Read(folder / "Lok.txt"), kOld);
        }
    }

    // A NUL in the path: the system would see only the text before it.
    const fs::path file = dir_ / "Nullzeichen.txt";  // "Nul.txt" is a device on Windows
    Write(file, kOld);
    const SaveResult nul = SaveEntries(file.string() + std::string(1, '\0') + "x", Sample("90"));
    EXPECT_EQ(nul.step, SaveStep::CheckFile);
    EXPECT_EQ(Read(file), kOld);
    EXPECT_FALSE(fs::exists(file.string() + "_Orig"));
}

#ifdef _WIN32
// Some other process that runs now.
long long OtherProcess() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    long long pid = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && pid == 0;
         more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != 0 && entry.th32ProcessID != ::GetCurrentProcessId()) {
            pid = entry.th32ProcessID;
        }
    }
    ::CloseHandle(snapshot);
    return pid;
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
    Write(dir_ / "Lok.txt", kOld);
    const std::set<std::string> kept = {"Lok.txt",
                                        "Lok.txt_Orig",
                                        ".Lok.txt." + alive + ".0.qvtmp",
                                        ".Lok.txt.x.0.qvtmp",
                                        ".Lok.txt.1.qvtmp",
                                        ".Andere.txt." + dead + ".0.qvtmp",
                                        "Lok.txt." + dead + ".0.qvtmp"};
    for (const std::string& name : kept) {
        if (name != "Lok.txt_Orig" && name != "Lok.txt") Write(dir_ / name, "x");
    }
    Write(dir_ / (".Lok.txt." + dead + ".0.qvtmp"), "half");
    Write(dir_ / (".Lok.txt_Orig." + dead + ".3.qvtmp"), "half");

    ASSERT_TRUE(SaveEntries((dir_ / "Lok.txt").string(), Sample("90")).ok());
    EXPECT_EQ(Listing(dir_), kept);
}

TEST_F(SafeSave, RestoreSourcePrefersTheBackup) {
    const std::string path = (dir_ / "Lok.txt").string();
    Write(path, kOld);
    EXPECT_EQ(RestoreSource(path), path);
    fs::create_directory(path + "_Orig");  // a folder is no backup
    EXPECT_EQ(RestoreSource(path), path);
    fs::remove(path + "_Orig");
    Write(path + "_Orig", kForeign);
    EXPECT_EQ(RestoreSource(path), path + "_Orig");
}

}  // namespace
}  // namespace quorvel
