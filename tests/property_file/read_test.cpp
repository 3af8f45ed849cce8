#include <gtest/gtest.h>

#include "Mod_Quorvel.h"
#include "property_file_fakes.h"

namespace quorvel {
namespace {

struct ReadCase {
    std::string bytes;
    Entries entries;
    bool motor = false;
    int gears = 0;
};

TEST(Read, TokensFollowTheDelimiterRules) {
    constexpr auto O = typ::GroupOpen, C = typ::GroupClose, T = typ::Text, N = typ::Number;
    const ReadCase cases[] = {
        {"", {}},
        {"A ( 1 )", {{"A", "1", N}}},                                 // last byte ")"
        {"G{}", {{"G", "", O}, {"", "", C}}},                         // last byte "}"
        {"A ( 1 )\r\nB ( 2", {{"A", "1", N}}},                        // unfinished dropped
        {"A ( 1 )\r\nB (", {{"A", "1", N}}},                          //  with its name
        {"{\t\r\n{A ( x )\r\n\t{", {{"A", "x", T}}},                  // bare "{" ignored
        {"A ( x ) \r\n{", {{"A", "x", T}, {"", "", O}}},              // " {" opens ""
        {"a ( b ( c )", {{"b", "c", T}}},                             // later "(" names
        {"( a ( b )", {{"a", "b", T}}},                               // "(" without text
        {" 5 )", {{"", "5", N}}},                                     // ")" without "("
        {"A ()", {{"A", "", T}}},                                     // empty value
        {"N ( x }", {{"N", "", C}}},                                  // "}" keeps name
        {"M\xC3\xA4sse\x7F ( 1\x01 )", {{"Msse", "1", N}}},           // outside 32..126
        {"A ( 1 ) kg\r\nB ( 2 )", {{"A", "1", N}, {"kgB", "2", N}}},  // unit joins next
        {"Gang{}Gang{}x{Gang ( 1 )",
         {{"Gang", "", O},
          {"", "", C},
          {"Gang", "", O},
          {"", "", C},
          {"x", "", O},
          {"Gang", "1", N}},
         false,
         3},
        {"motor{Motorx ( 1 )", {{"motor", "", O}, {"Motorx", "1", N}}},
        {"  Motor  ( 1 )", {{"Motor", "1", N}}, true},
        {"X ( Motor )", {{"X", "Motor", T}}},
    };
    for (const ReadCase& c : cases) {
        Entries list;
        Vehicle vehicle{false, 7};
        ParseEntries(c.bytes, list, vehicle, kEnglish);
        EXPECT_EQ(list, c.entries) << c.bytes;
        EXPECT_EQ(vehicle.HasMotor, c.motor) << c.bytes;
        EXPECT_EQ(vehicle.GearCount, c.gears) << c.bytes;
    }
}

TEST(Read, NumericValuesFollowTheUserFormat) {
    // value, Typ under German, Typ under English
    const std::tuple<std::string, int, int> cases[] = {
        {"80", 2, 2},    {" 80 ", 2, 2}, {"1,5", 2, 2}, {"1.5", 2, 2},   {"1,5.3", 1, 2},
        {"1.5,3", 2, 1}, {"-4,5", 2, 2}, {"1e3", 2, 2}, {"1,,5", 1, 1},  {"", 1, 1},
        {"   ", 1, 1},   {"abc", 1, 1},  {"1 2", 1, 1}, {"1e999", 1, 1}, {".", 1, 1},
    };
    for (const auto& [value, german, english] : cases) {
        for (const auto& [format, expected] : {std::pair{&kGerman, german}, {&kEnglish, english}}) {
            Entries list;
            Vehicle vehicle;
            ParseEntries("X (" + value + ")", list, vehicle, *format);
            ASSERT_EQ(list.size(), 1u);
            EXPECT_EQ(list[0].Typ, expected) << value << " with " << format->decimal;
        }
    }
}

}  // namespace
}  // namespace quorvel
