#include <climits>
#include <cmath>
#include <optional>

#include "Calculation.h"
#include "EditorTest.h"
#include "Mod_String.h"
#include "Presets.h"

namespace quorvel {
namespace {

using test::kEnglish;
using test::kGerman;
using test::Ratios;
using test::Texts;
using Values = test::LocaleTest;
const std::optional<double> no;

// clang-format off
TEST_P(Values, WritingDecimals) {
    const struct { double value; std::optional<int> decimals; const char* text; } cases[] = {
        {7.6, 1, "7.6"}, {-7.6, 1, "-7.6"}, {50, 2, "50.00"}, {118.75, 2, "118.75"},
        {95.94, {}, "96"}, {-96.4, {}, "-96"}, {1234567.891, 2, "1234567.89"}, {5, 0, "5"},
        {1e21, {}, "1000000000000000000000"}, {0.04, 1, "0.0"}, {-0.04, 1, "0.0"},
        {-0.0, {}, "0"}, {INFINITY, 1, "0.0"}, {NAN, 2, "0.00"}};
    for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.value, c.decimals), c.text) << c.value;
    // Only the first comma becomes a point.
    for (const auto& [in, out] : {std::pair{"1,5", "1.5"}, {",5", ".5"}, {"5,", "5."}, {"12", "12"},
                                  {"", ""}, {"1,2,3", "1.2,3"}}) {
        std::string field = in;
        NormalizeDecimalField(field);
        EXPECT_EQ(field, out);
    }
}

// The editor's own form is read strictly with "." first; other texts by the user's format.
TEST_P(Values, ReadingDecimals) {
    const std::pair<const char*, double> leading[] = {
        {"1.5", 1.5}, {"1,5", 1}, {"", 0}, {"abc", 0}, {"  42", 42}, {"-7.6", -7.6}, {".5", 0.5},
        {"1e3", 1000}, {"118.75", 118.75}, {" 1 000", 1000}, {"50 km/h", 50}, {"\t7\n", 7},
        {"+5", 5}, {"2E-1", 0.2}, {"1e", 1}, {"1e+x", 1}, {"1.2.3", 1.2}, {"-", 0}, {".", 0},
        {"1e999", 0}, {"1e-400", 0}, {"1e-320", 1e-320}};
    for (const auto& [text, value] : leading) EXPECT_EQ(ParseLeadingNumber(text), value) << text;
    const struct { std::string text; std::optional<double> english, german; } strict[] = {
        {"1200", 1200, 1200}, {" 1200 ", 1200, 1200}, {"", no, no}, {"abc", no, no},
        {"12abc", no, no}, {"+7", 7, 7}, {"-7.25", -7.25, -7.25}, {"1.500", 1.5, 1.5},
        {"1.500,5", no, 1500.5}, {"1,500.5", 1500.5, no}, {".5", 0.5, no}, {"1e400", no, no},
        {"1" + std::string(400, '0'), no, no}};
    for (const auto& c : strict) {
        EXPECT_EQ(ParseStrictNumber(c.text, kEnglish), c.english) << c.text;
        EXPECT_EQ(ParseStrictNumber(c.text, kGerman), c.german) << c.text;
    }
}
// clang-format on

// 50 km/h backwards and 120 forwards on the drive constant 380.
EditorState Example(std::int32_t gearCount = 6) {
    EditorState state = test::Vehicle380(gearCount);
    state.tx_VMaxR = "50";
    state.tx_VmaxV = "120";
    return state;
}
EditorState Apply(EditorState state, std::initializer_list<int> modes) {
    for (const int mode : modes) Recalculate(state, mode);
    return state;
}

TEST_P(Values, CalculationExamplesAndOrder) {
    EditorState state = Apply(Example(), {1, 2, 3});
    EXPECT_EQ(Texts(state), "|||||  2000|50|50.00 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2");
    state.tx_ueber[0] = "7.6";  // the sign does not change the speed
    EXPECT_EQ(Apply(state, {3}).tx_VMaxR, "50.00");
    EXPECT_EQ(Texts(Apply(state, {0, 4, -1, INT_MAX})), Texts(state));
    // The mode that runs last decides a field both write.
    EXPECT_EQ(Apply(Example(5), {1, 2}).tx_ueber[2] + Apply(Example(5), {2, 1}).tx_ueber[2],
              "8.0-15.2");
    EXPECT_EQ(Texts(Apply(Example(1), {1, 2, 3})), "|||||  2000|50|118.75 118.75|3.2     ");
    state.tx_VMaxR = "76";  // base ratio 5.0: step 0.5
    EXPECT_EQ(Ratios(Apply(state, {1})).substr(0, 15), "-5.0 -7.5 -10.0");
    state.tx_VMaxR = "76.15230460921844";  // base ratio 4.99: step 0.75
    EXPECT_EQ(Ratios(Apply(state, {1})).substr(0, 15), "-5.0 -8.7 -12.4");
}

// The ratio fields modes 1 and 2 write ("mode 1|mode 2"), and whether mode 3 writes the
// forward speed. A count without a matching field must touch nothing else (sanitizers).
TEST_P(Values, CalculatedFieldsByGearCount) {
    // clang-format off
    const struct { std::int32_t count; const char* written; bool forwardSpeed; } cases[] = {
        {0, "0|", false}, {1, "0|0", true}, {2, "0|1", true}, {3, "0|2", true}, {4, "01|23", true},
        {5, "012|234", true}, {6, "012|345", true}, {7, "012|4", false}, {8, "0123|4", false},
        {9, "01234|4", false}, {10, "01234|", false}, {100, "012345|", false}, {-1, "0|", false},
        {INT_MAX, "012345|", false}, {INT_MIN, "0|", false}};
    // clang-format on
    for (const auto& c : cases) {
        EditorState state = Example(c.count);
        state.tx_ueber.fill("m");
        std::string written;
        for (const int mode : {1, 2}) {
            const EditorState after = Apply(state, {mode});
            for (int i = 0; i < kRatioFields; ++i) {
                if (after.tx_ueber[i] != "m") written += static_cast<char>('0' + i);
            }
            if (mode == 1) written += "|";
        }
        EXPECT_EQ(written, c.written) << c.count;
        EXPECT_EQ(Apply(state, {3}).tx_VmaxV != "120", c.forwardSpeed) << c.count;
    }
}

TEST_P(Values, ZeroAndNonFiniteGiveEmptySpeedsAndZeroRatios) {
    EditorState state = test::Vehicle380();
    EXPECT_EQ(SpeedText(state, 0) + SpeedText(state, 1e-320), "");
    EXPECT_EQ(RatioForSpeed(state, 0) + RatioForSpeed(state, 1e-320), 0);
    state.tx_VMaxR = "1e-320";
    EXPECT_EQ(Ratios(Apply(state, {1})), "0.0 0.0 0.0   ");
    state.tx_Treib = "";
    EXPECT_EQ(SpeedText(state, 3.2), "0.00");
    state.tx_Treib = state.tx_U3 = "1e300";  // drive constant beyond double
    EXPECT_EQ(SpeedText(state, 2) + FormatDecimal(RatioForSpeed(state, 50), 1), "0.0");
    state.tx_U3 = "1e8";  // base ratio near the top of double: the sums overflow
    state.tx_VMaxR = state.tx_VmaxV = "0.003";
    for (const int mode : {1, 2, 3}) {
        Recalculate(state, mode);
        EXPECT_EQ(Texts(state).find_first_of("ina"), std::string::npos) << Texts(state);
    }
}

// The loaded locomotive file of the examples; Edited is set to prove it stays.
EditorState LocomotiveFile(std::int32_t gearCount = 6) {
    EditorState state = test::Vehicle380(gearCount);
    state.tx_Masse = "80000";
    state.tx_Leistung = "1500";
    state.tx_ueber = {"-6.0", "-9.0", "-12.0", "8.0", "5.6", "3.2"};
    state.Edited = true;
    return state;
}

TEST_P(Values, PresetExamples) {
    test::Sink sink;
    EditorState steam = LocomotiveFile(), electric = steam, city = steam, wagon = steam;
    PresetSteam(steam, kEnglish, sink);
    EXPECT_EQ(Texts(steam),
              "|80000|96|20|1500|500 1800 2000|50|50 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2");
    PresetElectricDiesel(electric, kEnglish, sink);
    EXPECT_EQ(Texts(electric),
              "|80000|96|20|1500|700 3200 3500|50|110.83 207.81|-6.0 -9.0 -12.0 8.0 5.6 3.2");
    PresetCity(city);
    EXPECT_EQ(Texts(city), "|80000|||1500|200 600 800|50|50 50|-3.0 -5.3 -7.6 7.6 5.3 3.0");
    PresetWagon(wagon);
    EXPECT_EQ(Texts(wagon), "|80000|96|3.2|1500|  2000|50| |-6.0 -9.0 -12.0 8.0 5.6 3.2");
    for (const EditorState* s : {&steam, &electric, &city, &wagon}) {
        EXPECT_TRUE(s->Edited && s->vehicle.HasMotor && s->vehicle.GearCount == 6);
    }
    for (const auto& [mass, forces] : {std::pair{"80500", "97 3.2"}, {"", "0 0.0"}}) {
        wagon.tx_Masse = mass;
        PresetWagon(wagon);
        EXPECT_EQ(wagon.tx_BremsK + " " + wagon.tx_ReibK, forces);
    }
    city.tx_Treib = "";
    PresetCity(city);
    EXPECT_EQ(Ratios(city), "0.0 0.0 0.0 0.0 0.0 0.0");
    EXPECT_TRUE(sink.shown.empty());
}

TEST_P(Values, PresetPowerBandEdges) {
    // clang-format off
    const struct { const char* power; const char *steam, *electric; } cases[] = {
        {"-5", "400 1600 1800", "200 2400 2600"}, {"0", "400 1600 1800", "200 2400 2600"},
        {"400", "400 1600 1800", "200 2400 2600"}, {"400.5", "400 1600 1800", "250 2500 2800"},
        {"600", "400 1600 1800", "250 2500 2800"}, {"800", "400 1600 1800", "300 2800 3000"},
        {"1000", "400 1600 1800", "400 2900 3100"}, {"1000.5", "400 1600 1800", "500 3000 3200"},
        {"1001", "500 1800 2000", "500 3000 3200"}, {"1200", "500 1800 2000", "500 3000 3200"},
        {"1400", "500 1800 2000", "600 3100 3300"}, {"1600", "500 1800 2000", "700 3200 3500"},
        {"1800", "500 1800 2000", "800 3300 3600"}, {"1801", "900 2300 2500", "1000 3500 3800"},
        {"2000", "900 2300 2500", "1000 3500 3800"}, {"3000", "900 2300 2500", "1250 3750 4100"},
        {"4000", "900 2300 2500", "1500 4000 4500"}, {"4000.01", "900 2300 2500", "2000 4500 5000"},
        {"4001", "1000 3000 3300", "2000 4500 5000"}};
    // clang-format on
    test::Sink sink;
    for (const auto& c : cases) {
        EditorState state = LocomotiveFile();
        state.tx_Leistung = c.power;
        PresetSteam(state, kGerman, sink);
        EXPECT_EQ(state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3, c.steam) << c.power;
        PresetElectricDiesel(state, kGerman, sink);
        EXPECT_EQ(state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3, c.electric) << c.power;
    }
    EXPECT_TRUE(sink.shown.empty());
}

// Steam writes the brake force before it reads the power; electric changes nothing.
TEST_P(Values, PresetPowerWithoutNumberStopsWithMessage) {
    for (const std::string power : {"", "abc", "1500 kW"}) {
        test::Sink sink;
        EditorState steam = LocomotiveFile(), electric = steam;
        steam.tx_Leistung = electric.tx_Leistung = power;
        steam.tx_Masse = "80500";
        EditorState expected = steam, unchanged = electric;
        expected.tx_BremsK = "97";
        PresetSteam(steam, kEnglish, sink);
        PresetElectricDiesel(electric, kEnglish, sink);
        EXPECT_EQ(Texts(steam) + Texts(electric), Texts(expected) + Texts(unchanged));
        const std::string said = "Quorvel|48|Das Feld Leistung enth\xC3\xA4lt keine Zahl: \"";
        EXPECT_EQ(sink.shown, std::vector(2, said + power + "\""));
    }
}

// Gear counts without a matching ratio field: nothing outside the six fields is touched
// (the sanitizer build checks memory), and the count itself stays.
TEST_P(Values, PresetsTakeAnyGearCount) {
    test::Sink sink;
    for (const std::int32_t count : {0, 7, 100, -1, INT_MAX, INT_MIN}) {
        EditorState state = LocomotiveFile(count);
        state.tx_VmaxV = "m";
        PresetSteam(state, kEnglish, sink);
        PresetElectricDiesel(state, kEnglish, sink);
        EXPECT_EQ(state.tx_VmaxV, "m") << count;
        PresetCity(state);
        PresetWagon(state);
        EXPECT_EQ(state.vehicle.GearCount, count);
    }
    EXPECT_TRUE(sink.shown.empty());
}

QUORVEL_IN_BOTH_LOCALES(Values);

}  // namespace
}  // namespace quorvel
