#include <gtest/gtest.h>

#include "Mod_Datei.h"

namespace quorvel {
namespace {

TEST(Paths, GetFolderCutsAtLastSeparator) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Daten\\Lok.txt", "C:\\Daten"},
        {"C:\\Lok.txt", "C:"},
        {"C:Lok.txt", "C"},
        {"Lok.txt", ""},
        {"C:\\Daten\\", "C:\\Daten"},
#ifndef _WIN32
        {"/home/zug/Lok.txt", "/home/zug"},  // POSIX paths also cut at the slash
#endif
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(GetFolder(path), folder) << path;
}

TEST(Paths, JoinWithSeparatorKeepsOneSeparatorAtTheSeam) {
    const std::string cases[][4] = {
        {"", "b", "\\", "\\b"},
        {"a", "", "\\", "a\\"},
        {"", "", "\\", "\\"},
        {"a", "b", "", "ab"},
        {"a\\", "\\b", "\\", "a\\b"},
        {"a\\", "\\\\b", "\\", "a\\\\b"},
        {"a\\", "b", "\\", "a\\b"},
        {"a", "\\b", "\\", "a\\b"},
        {"a", "b", "\\", "a\\b"},
        {"a--", "--b", "--", "a------b"},
        {"a\xC3\xA4", "b", "\xC3\xA4",
         "a\xC3\xA4"
         "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(JoinWithSeparator(c[0], c[1], c[2]), c[3]) << c[0];
}

TEST(Paths, BuildPathJoinsFolderNameAndExtension) {
    const std::string cases[][4] = {
        {"C:\\Prog", "Resourcen\\Rollmaterial", "", "C:\\Prog\\Resourcen\\Rollmaterial"},
        {"C:\\Prog\\", "Resourcen\\Rollmaterial", "", "C:\\Prog\\Resourcen\\Rollmaterial"},
        {"C:\\Prog\\", "\\Resourcen", "", "C:\\Prog\\Resourcen"},
        {"", "Lok", "", "\\Lok"},
        {"C:\\Daten", "Lok", "txt", "C:\\Daten\\Lok.txt"},
        {"C:\\Daten", "Lok", ".txt", "C:\\Daten\\Lok.txt"},
        {"C:\\Daten", "Lok", "t", "C:\\Daten\\Lok"},
        {"C:\\Daten", "Lok", "\xC3\xA4", "C:\\Daten\\Lok"},  // one character, two bytes
    };
    for (const auto& c : cases) EXPECT_EQ(BuildPath(c[0], c[1], c[2]), c[3]) << c[2];
}

}  // namespace
}  // namespace quorvel
