// What only Windows has: attributes, sharing locks, its error numbers, non-ANSI paths.
#include <windows.h>
// After windows.h:
#include <sddl.h>

#include "test_support.h"

namespace quorvel {
namespace {

using Windows = TempDir;

TEST_F(Windows, FileExistsWhateverTheAttributes) {
    for (const DWORD a : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY,
                          FILE_ATTRIBUTE_ARCHIVE}) {
        const std::string file = Put("Lok" + std::to_string(a) + ".txt", "x");
        EXPECT_TRUE(SetFileAttributesW(PathFromText(file).c_str(), a) && FileExists(file)) << a;
    }
    char drive = 'Z';  // a drive letter that names no drive here
    while (drive > 'D' && (GetLogicalDrives() & (1u << (drive - 'A')))) --drive;
    Put("Ordner.txt\\Lok.txt", "x");
    // A folder, a file in a missing folder, patterns (though files match them), a missing drive.
    for (const std::string& path :
         {Utf8(dir / "Ordner.txt"), Utf8(dir / "fehlt" / "Lok.txt"), Utf8(dir / "Lok*.txt"),
          Utf8(dir / "Lok?.txt"), std::string(1, drive) + ":\\Lok.txt"})
        EXPECT_FALSE(FileExists(path)) << path;
}

TEST_F(Windows, OpenDataFileGivesTheWindowsErrorNumberAndText) {
    const std::string locked = Put("Gesperrt.txt", "x"), file = Put("Lok.txt", "x");
    // Shared with nobody: every other open fails with a sharing violation (32).
    const HANDLE holder = CreateFileW(PathFromText(locked).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    // clang-format off
    const std::string cases[][3] = {{locked, "r", "32"}, {locked, "w", "32"}, {locked, "rw", "32"},
        {Utf8(dir), "w", "5"}, {file + "\\x", "w", "3"}};  // 5: access denied, 3: path not found
    // clang-format on
    for (const auto& [path, mode, number] : cases) {
        testing::StrictMock<FakeSink> sink;
        std::string text;
        EXPECT_CALL(sink, ShowMessage("Quorvel", testing::_, MessageIcon::Critical))
            .WillOnce(testing::SaveArg<1>(&text));
        EXPECT_FALSE(OpenDataFile(path, sink, mode));
        const std::string head =
            "Fehler beim \303\226ffnen von " + path + "\r\nNummer: " + number + "\r\nFehler: ";
        // Then the system's own text, without the line break it comes with.
        EXPECT_TRUE(text.starts_with(head) &&
                    text.find_first_not_of(" .", head.size()) != text.npos &&
                    text.find_first_of("\r\n", head.size()) == text.npos)
            << text;
    }
    CloseHandle(holder);
    EXPECT_EQ(Get(locked), "x");
}

// The file's own access rules as stored.
std::string AccessRules(const std::wstring& path) {
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string rules(size, '\0');
    return GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, rules.data(), size, &size)
               ? rules
               : "";
}

// Saves (the second one replaces a saved file) keep hidden and system, an alternate data stream
// and the file's own access rules (here: administrators change it, everyone reads it), in a
// folder beyond the ANSI code page. Read-only files are refused in safe_save_test.cpp.
TEST_F(Windows, SavesKeepAttributesStreamsAccessRulesAndNonAnsiPaths) {
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    testing::StrictMock<FakeSink> silent;
    PSECURITY_DESCRIPTOR rules = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;BA)(A;;FR;;;WD)", SDDL_REVISION_1, &rules, nullptr));
    for (const DWORD a : {DWORD{FILE_ATTRIBUTE_NORMAL}, kept, DWORD{FILE_ATTRIBUTE_ARCHIVE}}) {
        // Umlauts, Greek and Chinese: no single-byte code page holds them all.
        const fs::path folder = fs::path(u8"Fahrzeuge \u00C4\u00F6\u00DF \u03A9 \u5317 ") +=
            std::to_string(a);
        const std::string path = Put(folder / u8"L\u00F6k.txt", kOld);
        const std::wstring wide = PathFromText(path).wstring();
        std::ofstream(fs::path(wide + L":Notiz")) << "x";
        SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, rules);
        const std::string before = AccessRules(wide), stream = Get(Utf8(wide + L":Notiz"));
        // Wine keeps a stream as a file of its own: the save adds the backup and nothing else.
        const auto listed = [&] { return std::distance(fs::directory_iterator(dir / folder), {}); };
        const auto files = listed();
        EXPECT_TRUE(SetFileAttributesW(wide.c_str(), a) && FileExists(path));
        EXPECT_EQ(GetFolder(path), Utf8(dir / folder));
        EXPECT_EQ(BuildPath(GetFolder(path), "L\303\266k", "txt"), path);
        for (const char* mass : {"90", "100"}) ASSERT_TRUE(SaveEntries(path, Sample(mass)).ok());
        EXPECT_EQ(GetFileAttributesW(wide.c_str()) & kept, a & kept);
        EXPECT_EQ(OpenDataFile(path, silent)->ReadAll(), FormatEntries(Sample("100")));
        EXPECT_EQ(Get(path + "_Orig"), kOld);
        EXPECT_EQ(Get(Utf8(wide + L":Notiz")), stream);
        EXPECT_EQ(AccessRules(wide), before);
        EXPECT_EQ(RestoreSource(path), path + "_Orig");
        EXPECT_EQ(listed(), files + 1);
    }
    LocalFree(rules);
}

}  // namespace
}  // namespace quorvel
