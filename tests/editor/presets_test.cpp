#include <gmock/gmock.h>

#include <climits>

#include "EditorTest.h"
#include "InitEditor.h"
#include "Presets.h"

namespace quorvel {
namespace {

using test::kEnglish;
using test::Texts;
using Presets = test::LocaleTest;

struct Sink : MessageSink {  // strict: any message not expected fails the test
    MOCK_METHOD(void, ShowMessage, (const std::string&, const std::string&, MessageIcon),
                (override));
};
using StrictSink = ::testing::StrictMock<Sink>;

// The loaded locomotive file of the examples; Edited is set to prove it stays.
EditorState LocomotiveFile(std::int32_t gearCount = 6) {
    EditorState state = test::Vehicle380(gearCount);
    state.tx_Masse = "80000";
    state.tx_Leistung = "1500";
    state.tx_ueber = {"-6.0", "-9.0", "-12.0", "8.0", "5.6", "3.2"};
    state.Edited = true;
    return state;
}

TEST(EditorState, LoadStep) {
    EditorState state;
    EXPECT_TRUE(state.selected == TypeOption::None && state.Opt_DLok_enabled);
    InitEditor(state);
    EXPECT_EQ(state.selected, TypeOption::Opt_Andere);
    EXPECT_FALSE(state.Opt_DLok_enabled || state.Opt_Elok_enabled || state.Fra_Motor_visible);
    EXPECT_TRUE(state.Opt_waggon_enabled && state.LastFolder.empty() && state.Entries.empty());
    EXPECT_EQ(state.tx_ueber_visible, (std::array<bool, kRatioFields>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(Texts(state), "|||||  || |     ");
    EXPECT_FALSE(state.Edited || state.vehicle.HasMotor || state.vehicle.GearCount);
}

TEST_P(Presets, WorkedExamples) {
    StrictSink sink;
    EditorState steam = LocomotiveFile(), electric = steam, city = steam, wagon = steam;
    PresetSteam(steam, kEnglish, sink);
    EXPECT_EQ(Texts(steam),
              "|80000|96|20|1500|500 1800 2000|50|50 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2");
    PresetElectricDiesel(electric, kEnglish, sink);
    EXPECT_EQ(Texts(electric),
              "|80000|96|20|1500|700 3200 3500|50|110.83 207.81|-6.0 -9.0 -12.0 8.0 5.6 3.2");
    PresetCity(city);
    EXPECT_EQ(Texts(city), "|80000|||1500|200 600 800|50|50 50|-3.0 -5.3 -7.6 7.6 5.3 3.0");
    city.tx_Treib = "";
    PresetCity(city);
    EXPECT_EQ(test::Ratios(city), "0.0 0.0 0.0 0.0 0.0 0.0");
    PresetWagon(wagon);
    EXPECT_EQ(Texts(wagon), "|80000|96|3.2|1500|  2000|50| |-6.0 -9.0 -12.0 8.0 5.6 3.2");
    for (const auto& [mass, forces] : {std::pair{"80500", "97 3.2"}, {"", "0 0.0"}}) {
        wagon.tx_Masse = mass;
        PresetWagon(wagon);
        EXPECT_EQ(wagon.tx_BremsK + " " + wagon.tx_ReibK, forces);
    }
    for (const EditorState* s : {&steam, &electric, &city, &wagon}) {
        EXPECT_TRUE(s->Edited && s->vehicle.HasMotor && s->vehicle.GearCount == 6);
    }
}

TEST_P(Presets, PowerBandEdges) {
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
        {"4000.5", "900 2300 2500", "2000 4500 5000"}, {"4001", "1000 3000 3300", "2000 4500 5000"}};
    // clang-format on
    StrictSink sink;
    for (const auto& c : cases) {
        EditorState state = LocomotiveFile();
        state.tx_Leistung = c.power;
        PresetSteam(state, test::kGerman, sink);
        EXPECT_EQ(state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3, c.steam) << c.power;
        PresetElectricDiesel(state, test::kGerman, sink);
        EXPECT_EQ(state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3, c.electric) << c.power;
    }
}

TEST_P(Presets, PowerWithoutNumberStopsWithMessage) {
    for (const std::string power : {"", "abc", "1500 kW"}) {
        StrictSink sink;
        EditorState steam = LocomotiveFile(), electric = steam;
        steam.tx_Leistung = electric.tx_Leistung = power;
        steam.tx_Masse = "80500";
        EditorState expected = steam;
        expected.tx_BremsK = "97";  // written before the power is read
        EXPECT_CALL(
            sink, ShowMessage("Quorvel", "Das Feld Leistung enthält keine Zahl: \"" + power + "\"",
                              MessageIcon::Exclamation))
            .Times(2);
        PresetSteam(steam, kEnglish, sink);
        EXPECT_EQ(Texts(steam), Texts(expected));
        expected = electric;
        PresetElectricDiesel(electric, kEnglish, sink);
        EXPECT_EQ(Texts(electric), Texts(expected));
    }
}

// Gear counts without a matching ratio field: nothing outside the six fields is touched
// (the sanitizer build checks memory), and the count itself stays.
TEST_P(Presets, AnyGearCountIsSafe) {
    for (const std::int32_t count : {0, 7, 100, -1, INT_MAX, INT_MIN}) {
        EditorState state = LocomotiveFile(count);
        state.tx_VmaxV = "m";
        StrictSink sink;
        PresetSteam(state, kEnglish, sink);
        PresetElectricDiesel(state, kEnglish, sink);
        EXPECT_EQ(state.tx_VmaxV, "m") << count;
        PresetCity(state);
        PresetWagon(state);
        EXPECT_EQ(state.vehicle.GearCount, count);
    }
}

QUORVEL_IN_BOTH_LOCALES(Presets);

}  // namespace
}  // namespace quorvel
