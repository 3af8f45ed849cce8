#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "Mod_Registry.h"
#include "RegistryValue.h"
#include "test_common.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

const std::string kSystemReg = R"(WINE REGISTRY Version 2

[Software\\Quorvel\\Test] 1700000000
#time=1da0000000000
"Escapes"="a\\b\"c\td\x00e4\xd83d\xde82\n\101"
"Dword258"=dword:00000102
"High"=dword:ffffffff
"Expand"=str(2):"%ProgramFiles%\\Zelmo"
"Empty"=""
"Trailing"="C:\\Prog\\"
"Continued"=hex(1):41,00,\
  42,00,00,00
"Dword"=dword:0000000a
"EmbeddedNul"="ab\0cd"

[Software\\Quorvel\\Twice] 1700000000
"Both"="alt"

[Software\\Wow6432Node\\Legacy\\Host] 1700000000
"Path"="C:\\Legacy"

[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Zelmo.exe] 1700000000
"Path"="C:\\Zelmo\\"

[software\\quorvel\\twice] 1700000001
"Later"="zwei"
"Both"="neu"
)";

const std::string kFits(kRegistryBufferSize / 2 - 1, 'x');

// A fresh home folder with a Wine prefix in .wine.
class WinePrefix : public testing::Test {
  protected:
    WinePrefix() {
        fs::create_directory(prefix_);
        // In UTF-16 with its NUL, the longest text a value may hold, and one more.
        std::ofstream(prefix_ / "system.reg", std::ios::binary)
            << kSystemReg << "[Software\\\\Long] 1\n\"Fits\"=\"" << kFits << "\"\n\"Long\"=\""
            << kFits << "x\"\n";
    }
    TempFolder home_;
    fs::path prefix_ = home_.path / ".wine";
};

TEST_F(WinePrefix, ReadsValuesAsWindowsGivesThem) {
    const char* const test = "Software\\Quorvel\\Test";
    const std::tuple<const char*, const char*, std::string, std::int32_t> cases[] = {
        {test, "Escapes", "a\\b\"c\td\xC3\xA4\xF0\x9F\x9A\x82\nA", 0},
        {test, "Dword258", "258", 0},
        {test, "High", "4294967295", 0},
        {test, "Expand", "", 0},
        {test, "Empty", "", 0},
        {test, "Trailing", "C:\\Prog\\", 0},
        {test, "Continued", "AB", 0},
        {test, "Dword", "10", 0},  // after the continued line
        {test, "EmbeddedNul", "ab", 0},
        {"Software\\Long", "Fits", kFits, 0},
        {"Software\\Long", "Long", "", registry_error::kMoreData},
        {"SOFTWARE\\quorvel\\TEST\\", "dWoRd", "10", 0},
        {test, "Path", "", registry_error::kNotFound},  // only in the next section
        {"Software\\Quorvel\\Missing", "Path", "", registry_error::kNotFound},
        {"Software\\Legacy\\Host", "Path", "C:\\Legacy", 0},
        {"Software\\Quorvel\\Twice", "Later", "zwei", 0},  // a key's sections merge,
        {"Software\\Quorvel\\Twice", "Both", "neu", 0},    // the later value winning
    };
    for (const auto& [key, name, text, code] : cases) {
        std::int32_t error = -1;
        const std::string read =
            ReadWineRegistryString(prefix_.string(), RegistryRoot::LocalMachine, key, name, error);
        EXPECT_EQ(std::pair(read, error), std::pair(text, code)) << key << " / " << name;
    }
}

#ifndef _WIN32  // a Wine prefix as Linux sees it; registry_win32_test.cpp covers Windows
TEST_F(WinePrefix, HostLookupGivesTheRollingStockFolderInThePrefix) {
    const fs::path rolling = prefix_ / "drive_c" / "Zelmo" / "Resourcen" / "Rollmaterial";
    fs::create_directories(rolling);
    fs::create_directories(prefix_ / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
    const std::string driveC = fs::canonical(prefix_ / "drive_c").string();
    const std::pair<const char*, std::string> paths[] = {
        {"c:/ZELMO//.\\resourcen\\Neu", driveC + "/Zelmo/Resourcen/Neu"},  // existing in any case
        {"C:\\..\\..\\x", driveC + "/x"},
        {"D:\\Zelmo", ""},
        {"\\Resourcen\\Rollmaterial", ""},
    };
    for (const auto& [windows, local] : paths)
        EXPECT_EQ(WinePathToLinux(prefix_.string(), windows), local) << windows;

    const std::string expected = fs::canonical(rolling).string();
    EXPECT_EQ(RegistryHostLookup({"", home_.path.string()}).RollingStockFolder(), expected);
    EXPECT_EQ(RegistryHostLookup({prefix_.string(), "/none"}).RollingStockFolder(), expected);
    // Without any prefix, or without the host's registration, there is no folder.
    EXPECT_EQ(RegistryHostLookup({"", ""}).RollingStockFolder(), "");
    EXPECT_EQ(RegistryHostLookup({home_.path.string(), ""}).RollingStockFolder(), "");
}
#endif

}  // namespace
}  // namespace quorvel
