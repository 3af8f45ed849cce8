#include <cmath>
#include <optional>

#include "EditorTest.h"
#include "Mod_String.h"

namespace quorvel {
namespace {

using DecimalText = test::LocaleTest;
const std::optional<double> no;

// clang-format off
TEST_P(DecimalText, FormatDecimal) {
    const struct { double value; std::optional<int> decimals; const char* text; } cases[] = {
        {7.6, 1, "7.6"}, {-7.6, 1, "-7.6"}, {50, 2, "50.00"}, {118.75, 2, "118.75"},
        {95.94, {}, "96"}, {-96.4, {}, "-96"}, {1234567.891, 2, "1234567.89"}, {5, 0, "5"},
        {1e21, {}, "1000000000000000000000"}, {0.04, 1, "0.0"}, {-0.04, 1, "0.0"},
        {-0.0, {}, "0"}, {INFINITY, 1, "0.0"}, {NAN, 2, "0.00"}};
    for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.value, c.decimals), c.text) << c.value;
}

TEST_P(DecimalText, CommaToDotChangesOnlyTheFirstComma) {
    const std::pair<const char*, const char*> cases[] = {
        {"1,5", "1.5"}, {",5", ".5"}, {"5,", "5."}, {"12", "12"}, {"", ""}, {"1,2,3", "1.2,3"}};
    for (const auto& [in, out] : cases) {
        std::string field = in;
        NormalizeDecimalField(field);
        EXPECT_EQ(field, out);
    }
}

TEST_P(DecimalText, ParseLeadingNumber) {
    const std::pair<const char*, double> cases[] = {
        {"1.5", 1.5}, {"1,5", 1}, {"", 0}, {"abc", 0}, {"  42", 42}, {"-7.6", -7.6}, {".5", 0.5},
        {"1e3", 1000}, {"118.75", 118.75}, {" 1 000", 1000}, {"50 km/h", 50}, {"\t7\n", 7},
        {"+5", 5}, {"2E-1", 0.2}, {"1e", 1}, {"1e+x", 1}, {"1.2.3", 1.2}, {"-", 0}, {".", 0},
        {"1e999", 0}, {"1e-400", 0}, {"1e-320", 1e-320}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseLeadingNumber(text), value) << text;
}

// The editor's own form is read with "." first; other texts by the user's format.
TEST_P(DecimalText, ParseStrictNumber) {
    const struct { std::string text; std::optional<double> english, german; } cases[] = {
        {"1200", 1200, 1200}, {" 1200 ", 1200, 1200}, {"", no, no}, {"abc", no, no},
        {"12abc", no, no}, {"+7", 7, 7}, {"-7.25", -7.25, -7.25}, {"1.500", 1.5, 1.5},
        {"1.500,5", no, 1500.5}, {"1,500.5", 1500.5, no}, {".5", 0.5, no}, {"1e400", no, no},
        {"1" + std::string(400, '0'), no, no}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParseStrictNumber(c.text, test::kEnglish), c.english) << c.text;
        EXPECT_EQ(ParseStrictNumber(c.text, test::kGerman), c.german) << c.text;
    }
}
// clang-format on

QUORVEL_IN_BOTH_LOCALES(DecimalText);

}  // namespace
}  // namespace quorvel
