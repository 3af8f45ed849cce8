// What only Windows has: file attributes, sharing locks, its error numbers, and paths
// beyond the ANSI code page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SafeSave.h"
#include "property_file_fakes.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::StrictMock;

const std::string kOld = "Masse ( 80 ) \r\n";
const Entries kNew = {{"Masse", "90", typ::Number}};

class Windows : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        do {
            dir = fs::temp_directory_path() / ("quorvel-win-" + std::to_string(random()));
        } while (!fs::create_directory(dir));
    }
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(dir);
    }
    // The file's UTF-8 path; its folder is made when missing.
    std::string Put(const fs::path& name, const std::string& bytes, DWORD attributes = 0) {
        const fs::path file = dir / name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        if (attributes != 0) SetFileAttributesW(file.c_str(), attributes);
        return Utf8(file);
    }
    static std::string Utf8(const fs::path& path) {
        const std::u8string text = path.u8string();
        return {text.begin(), text.end()};
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(PathFromText(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir;
};

TEST_F(Windows, FileExistsWhateverTheAttributes) {
    const DWORD attributes[] = {
        FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY,
        FILE_ATTRIBUTE_ARCHIVE,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY};
    for (const DWORD a : attributes) {
        const std::string file = Put("Lok" + std::to_string(a) + ".txt", "x", a);
        EXPECT_EQ(GetFileAttributesW(PathFromText(file).c_str()) & a, a);
        EXPECT_TRUE(FileExists(file)) << a;
    }
    // A drive letter that names no drive here.
    char drive = 'Z';
    while (drive > 'D' && (GetLogicalDrives() & (1u << (drive - 'A')))) --drive;
    Put("Ordner.txt\\Lok.txt", "x");
    for (const std::string& path : {
             Utf8(dir / "Ordner.txt"),         // a folder
             Utf8(dir / "fehlt" / "Lok.txt"),  // in a missing folder
             Utf8(dir / "Lok*.txt"),           // invalid: a pattern, though files match it
             Utf8(dir / "Lok?.txt"),
             std::string(1, drive) + ":\\Lok.txt",
         }) {
        EXPECT_FALSE(FileExists(path)) << path;
    }
}

TEST_F(Windows, OpenDataFileGivesTheWindowsErrorNumberAndText) {
    const std::string locked = Put("Gesperrt.txt", "x"), file = Put("Lok.txt", "x");
    // Shared with nobody: every other open fails with a sharing violation.
    const HANDLE holder = CreateFileW(PathFromText(locked).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const struct {
        std::string path, mode;
        int number;
    } cases[] = {
        {locked, "r", ERROR_SHARING_VIOLATION},    {locked, "w", ERROR_SHARING_VIOLATION},
        {locked, "rw", ERROR_SHARING_VIOLATION},   {Utf8(dir), "w", ERROR_ACCESS_DENIED},
        {file + "\\x", "w", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        StrictMock<FakeSink> sink;
        std::string text;
        EXPECT_CALL(sink, ShowMessage("Quorvel", testing::_, MessageIcon::Critical))
            .WillOnce(testing::SaveArg<1>(&text));
        EXPECT_FALSE(OpenDataFile(c.path, sink, c.mode)) << c.path;
        const std::string head =
            "Fehler beim \xC3\x96"
            "ffnen von " +
            c.path + "\r\nNummer: " + std::to_string(c.number) + "\r\nFehler: ";
        ASSERT_THAT(text, testing::StartsWith(head));
        // The system's own text, without the line break it comes with.
        const std::string description = text.substr(head.size());
        EXPECT_NE(description.find_first_not_of(" ."), std::string::npos) << c.path;
        EXPECT_EQ(description.find_first_of("\r\n"), std::string::npos) << c.path;
    }
    CloseHandle(holder);
    EXPECT_EQ(Get(locked), "x");
}

TEST_F(Windows, SaveReplacesTheFileAndKeepsItsAttributes) {
    const struct {
        DWORD attributes;
        bool saved;
    } cases[] = {
        {FILE_ATTRIBUTE_NORMAL, true},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true},
        {FILE_ATTRIBUTE_ARCHIVE, true},
        {FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        const fs::path folder = dir / std::to_string(c.attributes);
        const std::string path = Put(folder / "Lok.txt", kOld, c.attributes);
        for (const char* mass : {"90", "100"}) {  // the second save replaces a saved file
            const SaveResult result = SaveEntries(path, {{"Masse", mass, typ::Number}});
            EXPECT_EQ(result.ok(), c.saved) << result.description;
            EXPECT_EQ(result.errorCode, c.saved ? 0 : ERROR_ACCESS_DENIED);
        }
        EXPECT_EQ(Get(path), c.saved ? "Masse ( 100 ) \r\n" : kOld);
        const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
        EXPECT_EQ(GetFileAttributesW(PathFromText(path).c_str()) & kept, c.attributes & kept);
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        const std::set<std::string> expected = {"Lok.txt", "Lok.txt_Orig"};
        EXPECT_EQ(names, c.saved ? expected : std::set<std::string>{"Lok.txt"});
        EXPECT_EQ(Get(path + "_Orig"), c.saved ? kOld : "");
    }
}

TEST_F(Windows, PathsBeyondTheAnsiCodePage) {
    // Umlauts, Greek and Chinese: no single-byte code page holds them all.
    const fs::path folder = fs::path(u8"Fahrzeuge \u00C4\u00F6\u00DF \u03A9 \u5317");
    const std::string path = Put(folder / u8"L\u00F6k.txt", kOld);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(GetFolder(path), Utf8(dir / folder));
    EXPECT_EQ(BuildPath(GetFolder(path), "L\xC3\xB6k", "txt"), path);
    ASSERT_TRUE(SaveEntries(path, kNew).ok());
    ASSERT_TRUE(SaveEntries(path, kNew).ok());
    EXPECT_EQ(Get(path + "_Orig"), kOld);
    EXPECT_EQ(RestoreSource(path), path + "_Orig");
    StrictMock<FakeSink> silent;
    Entries read;
    Vehicle vehicle;
    EXPECT_TRUE(ReadEntries(path, read, vehicle, kGerman, silent));
    EXPECT_EQ(read, kNew);
}

}  // namespace
}  // namespace quorvel
