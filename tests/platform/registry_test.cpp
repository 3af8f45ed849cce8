#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Mod_Registry.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// A Wine prefix in a fresh temporary folder, removed afterwards.
class TempPrefix {
  public:
    TempPrefix() {
        std::random_device random;
        do {
            root_ = fs::temp_directory_path() / ("quorvel-prefix-" + std::to_string(random()));
        } while (!fs::create_directory(root_));
    }
    ~TempPrefix() {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string Path() const { return root_.string(); }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(root_ / name, std::ios::binary) << text;
    }
    // dosdevices/c: -> ../drive_c, as Wine sets up a prefix.
    void MapDrive(char letter, const fs::path& target) const {
        fs::create_directories(root_ / "dosdevices");
        fs::create_directory_symlink(target, root_ / "dosdevices" / std::string{letter, ':'});
    }

  private:
    fs::path root_;
};

const char* const kSystemReg = R"(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Quorvel\\Test] 1700000000
#time=1da0000000000
@="Standard"
"Escapes"="a\\b\"c\td\x00e4\xd83d\xde82\n\101"
"Raw"="Ü"
"Dword"=dword:0000000a
"Dword258"=dword:00000102
"High"=dword:ffffffff
"Expand"=str(2):"%ProgramFiles%\\Zelmo"
"Empty"=""
"Trailing"="C:\\Prog\\"
"Continued"=hex(1):41,00,\
  42,00,00,00
"AfterContinued"=hex(4):02,01,00,00
"Binary"=hex:01,02
"EmbeddedNul"="ab\0cd"
"Long"="LONG"

[Software\\Quorvel\\Test\\Sub] 1700000000
"Path"="C:\\Sub"

[Software\\Wow6432Node\\Legacy\\Host] 1700000000
"Path"="C:\\Legacy"

[Software\\Both] 1700000000
"Other"="x"

[Software\\Wow6432Node\\Both] 1700000000
"Path"="C:\\Both32"
)";

std::string SystemReg() {
    std::string text = kSystemReg;
    text.replace(text.find("LONG"), 4, std::string(512, 'x'));  // 1026 bytes with its NUL
    return text;
}

TEST(WineRegistry, ReadsValuesAsWindowsGivesThem) {
    TempPrefix prefix;
    prefix.Write("system.reg", SystemReg());
    struct Case {
        const char* key;
        const char* name;
        std::string text;
        std::int32_t error;
    };
    const char* const test = "Software\\Quorvel\\Test";
    const Case cases[] = {
        {test, "", "Standard", 0},
        {test, "Escapes", "a\\b\"c\td\xC3\xA4\xF0\x9F\x9A\x82\nA", 0},
        {test, "Raw", "\xC3\x9C", 0},
        {test, "Dword", "10", 0},
        {test, "Dword258", "258", 0},
        {test, "High", "4294967295", 0},
        {test, "Expand", "", 0},
        {test, "Empty", "", 0},
        {test, "Trailing", "C:\\Prog\\", 0},
        {test, "Continued", "AB", 0},
        {test, "AfterContinued", "258", 0},
        {test, "Binary", "", 0},
        {test, "EmbeddedNul", "ab", 0},
        {test, "Long", "", registry_error::kMoreData},
        {"SOFTWARE\\quorvel\\TEST\\", "dWoRd", "10", 0},
        {test, "Missing", "", registry_error::kNotFound},
        {test, "Path", "", registry_error::kNotFound},  // only in the next section
        {"Software\\Quorvel\\Missing", "Path", "", registry_error::kNotFound},
        {"Software\\Legacy\\Host", "Path", "C:\\Legacy", 0},
        // The 32-bit view is asked only when the key itself is missing.
        {"Software\\Both", "Path", "", registry_error::kNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " / " + c.name);
        std::int32_t error = -1;
        EXPECT_EQ(
            ReadWineRegistryString(prefix.Path(), RegistryRoot::LocalMachine, c.key, c.name, error),
            c.text);
        EXPECT_EQ(error, c.error);
    }
}

TEST(WineRegistry, MissingFilesAreMissingKeys) {
    TempPrefix prefix;
    prefix.Write("user.reg", "WINE REGISTRY Version 2\n[Software\\\\Zelmo] 1\n\"A\"=\"b\"\n");
    std::int32_t error = -1;
    EXPECT_EQ(ReadWineRegistryString(prefix.Path(), RegistryRoot::CurrentUser, "Software\\Zelmo",
                                     "A", error),
              "b");
    EXPECT_EQ(error, 0);
    for (const std::string& folder : {prefix.Path(), std::string()}) {
        EXPECT_EQ(
            ReadWineRegistryString(folder, RegistryRoot::LocalMachine, "Software", "A", error), "");
        EXPECT_EQ(error, registry_error::kNotFound);
    }
}

#ifndef _WIN32  // a Wine prefix as Linux sees it; registry_win32_test.cpp covers Windows
TEST(WineRegistry, WindowsPathsBecomePathsInThePrefix) {
    TempPrefix prefix;
    fs::create_directories(fs::path(prefix.Path()) / "drive_c" / "Programme" / "zelmo");
    prefix.MapDrive('c', "../drive_c");
    const std::string driveC = fs::canonical(fs::path(prefix.Path()) / "drive_c").string();
    struct Case {
        const char* windows;
        std::string linux;
    };
    const Case cases[] = {
        {"C:\\Programme\\Zelmo\\Resourcen", driveC + "/Programme/zelmo/Resourcen"},
        {"c:/PROGRAMME//.\\Neu", driveC + "/Programme/Neu"},
        {"C:\\..\\..\\x", driveC + "/x"},
        {"C:", driveC},
        {"D:\\Programme", ""},
        {"\\Resourcen\\Rollmaterial", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WinePathToLinux(prefix.Path(), c.windows), c.linux) << c.windows;
    }
}

TEST(HostLookup, FindsTheRollingStockFolderOfARegisteredHost) {
    TempPrefix home;
    const fs::path prefix = fs::path(home.Path()) / ".wine";
    const fs::path rolling = prefix / "drive_c" / "Zelmo" / "Resourcen" / "Rollmaterial";
    fs::create_directories(rolling);
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    std::ofstream(prefix / "system.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
           "App Paths\\\\Zelmo.exe] 1700000000\n\"Path\"=\"C:\\\\Zelmo\\\\\"\n";

    const std::string expected = fs::canonical(rolling).string();
    EXPECT_EQ(RegistryHostLookup({"", home.Path()}).RollingStockFolder(), expected);
    EXPECT_EQ(RegistryHostLookup({prefix.string(), "/nonexistent"}).RollingStockFolder(), expected);
    // Without any prefix, or without the host's registration, there is no folder.
    EXPECT_EQ(RegistryHostLookup({"", ""}).RollingStockFolder(), "");
    EXPECT_EQ(RegistryHostLookup({home.Path(), ""}).RollingStockFolder(), "");
}
#endif

}  // namespace
}  // namespace quorvel
