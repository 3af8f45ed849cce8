#include "test_support.h"

namespace quorvel {
namespace {

constexpr auto O = typ::GroupOpen, C = typ::GroupClose, T = typ::Text, N = typ::Number;

// The layout example, both ways; and files in the host's layout read and write back unchanged.
TEST(Format, LayoutRoundTrips) {
    // clang-format off
    const Entries example = {{"Masse", "80", N}, {"Motor", "", O}, {"Leistung", "1000", N},
        {"Gang", "", O}, {"Uebersetzung", "-4.5", N}, {"", "", C}, {"", "", C}};
    const std::string bytes = "Masse ( 80 ) \r\nMotor{\r\n\tLeistung ( 1000 ) \r\n\tGang{\r\n"
        "\t\tUebersetzung ( -4.5 ) \r\n\t}\r\n}\r\n";
    const std::string files[] = {bytes, "",  // a value with its unit; stray and unbalanced braces
        "Bremskraft ( 12 kN ) \r\nZug{\r\n\tLaenge ( 3,2 ) \r\n\t{\r\n\t}\r\n}\r\n}\r\n"};
    // clang-format on
    EXPECT_EQ(FormatEntries(example), bytes);
    // Bare names (with and without text) and a closing below depth 0 count as written.
    const Entries odd = {{"", "", C}, {"x", "", 0}, {"", "", 0}, {"G", "", O}, {"y", "", -5}};
    EXPECT_EQ(FormattedSize(odd), FormatEntries(odd).size());
    for (const std::string& file : files) {
        Entries read;
        Vehicle vehicle{true, 0};
        ParseEntries(file, read, vehicle, kGerman);
        EXPECT_EQ(FormatEntries(read), file);
        EXPECT_EQ(FormattedSize(read), file.size());
        EXPECT_TRUE(vehicle.HasMotor && (file != bytes || read == example));  // never cleared
    }
}

struct ReadCase {
    std::string bytes;
    Entries entries;
    bool motor = false;
    int gears = 0;
};

// Each read restarts GearCount; only a "Motor" entry sets HasMotor.
TEST(Read, TokensFollowTheDelimiterRules) {
    const C_Name_Val gang{"Gang", "", O}, close{"", "", C};
    const ReadCase cases[] = {
        {"", {}},
        {"A ( 1 )", {{"A", "1", N}}},                                 // last byte ")"
        {"G{}", {{"G", "", O}, close}},                               // last byte "}"
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
        {"Gang{}Gang{}Gang ( 1 )", {gang, close, gang, close, {"Gang", "1", N}}, false, 3},
        {"motor{Motorx ( 1 )", {{"motor", "", O}, {"Motorx", "1", N}}},
        {"  Motor  ( 1 )", {{"Motor", "1", N}}, true},
        {"X ( Motor )", {{"X", "Motor", T}}},
    };
    for (const ReadCase& c : cases) {
        Entries list;
        Vehicle vehicle{false, 7};
        ParseEntries(c.bytes, list, vehicle, kEnglish);
        EXPECT_EQ(list, c.entries) << c.bytes;
        EXPECT_TRUE(vehicle.HasMotor == c.motor && vehicle.GearCount == c.gears) << c.bytes;
    }
}

TEST(Read, NumericValuesFollowTheUserFormat) {
    // value, Typ under German, Typ under English
    const std::tuple<std::string, int, int> cases[] = {
        // clang-format off
        {"80", 2, 2},    {" 80 ", 2, 2}, {"1,5", 2, 2}, {"1.5", 2, 2},   {"1,5.3", 1, 2},
        {"1.5,3", 2, 1}, {"-4,5", 2, 2}, {"1e3", 2, 2}, {"1,,5", 1, 1},  {"", 1, 1},
        {"   ", 1, 1},   {"abc", 1, 1},  {"1 2", 1, 1}, {"1e999", 1, 1}, {".", 1, 1},
        {"1.000.000", 2, 1}, {".5", 1, 2}, {std::string(400, '9'), 1, 1},  // beyond any double
        {std::string(400, '9') + "e-300", 2, 2},
        // clang-format on
    };
    for (const auto& [value, german, english] : cases) {
        for (const auto& [format, expected] : {std::pair{&kGerman, german}, {&kEnglish, english}}) {
            Entries list;
            Vehicle vehicle;
            ParseEntries("X (" + value + ")", list, vehicle, *format);
            EXPECT_TRUE(list.size() == 1 && list[0].Typ == expected) << value << format->decimal;
        }
    }
}

}  // namespace
}  // namespace quorvel
