#include <gmock/gmock.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <locale>
#include <optional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "Calculation.h"
#include "Commands.h"
#include "FieldEvents.h"
#include "Mod_String.h"
#include "Presets.h"
#include "test_support.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
const std::optional<double> no;

// Every text of the state, to prove what changed and what did not.
std::string Texts(const EditorState& s) {
    std::string text = s.tx_Datei + "|" + s.tx_Masse + "|" + s.tx_BremsK + "|" + s.tx_ReibK + "|" +
                       s.tx_Leistung + "|" + s.tx_U1 + " " + s.tx_U2 + " " + s.tx_U3 + "|" +
                       s.tx_Treib + "|" + s.tx_VMaxR + " " + s.tx_VmaxV + "|";
    for (int i = 0; i < kRatioFields; ++i) text += (i ? " " : "") + s.tx_ueber[i];
    return text;
}

// Runs in the process locale given, then back in "C": the editor's texts must not follow it.
class Values : public ::testing::TestWithParam<const char*> {
  protected:
    void TearDown() override { std::locale::global(std::locale::classic()); }  // sets "C" too
    void SetUp() override {
        if (!std::setlocale(LC_ALL, GetParam())) GTEST_SKIP() << GetParam() << " not installed";
#ifndef _WIN32  // mingw-w64's C++ library knows no locale but "C"
        std::locale::global(std::locale(GetParam()));
#endif
    }
};

// The loaded locomotive of the examples: radius 50 and limit revolutions 2000 give the drive
// constant 380, so ratio i runs at 380 / |i|. Edited is set to prove it stays.
EditorState Loco(std::int32_t gears = 6, const char* reverse = "63.33",
                 const char* forward = "118.75") {
    EditorState s;
    s.tx_Masse = "80000", s.tx_Leistung = "1500", s.tx_U3 = "2000", s.tx_Treib = "50";
    s.tx_ueber = {"-6.0", "-9.0", "-12.0", "8.0", "5.6", "3.2"};
    s.tx_VMaxR = reverse, s.tx_VmaxV = forward, s.Edited = true, s.vehicle = {true, gears};
    return s;
}
EditorState Apply(EditorState state, std::initializer_list<int> modes) {
    for (const int mode : modes) Recalculate(state, mode);
    return state;
}

// clang-format off
TEST_P(Values, NumberTexts) {
    const struct { double value; std::optional<int> decimals; const char* text; } cases[] = {
        {7.6, 1, "7.6"}, {-7.6, 1, "-7.6"}, {50, 2, "50.00"}, {118.75, 2, "118.75"},
        {95.94, {}, "96"}, {-96.4, {}, "-96"}, {1234567.891, 2, "1234567.89"}, {5, 0, "5"},
        {1e21, {}, "1000000000000000000000"}, {0.04, 1, "0.0"}, {-0.04, 1, "0.0"},
        {-0.0, {}, "0"}, {INFINITY, 1, "0.0"}, {NAN, 2, "0.00"}};
    for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.value, c.decimals), c.text) << c.value;
    // Only the first comma becomes a point.
    for (const auto& [in, out] : {std::pair{"1,5", "1.5"}, {",5", ".5"}, {"5,", "5."}, {"12", "12"},
                                  {"", ""}, {"1,2,3", "1.2,3"}})
        EXPECT_EQ(CommaToDot(in), out);
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
    // The editor's own form is read strictly with "." first; other texts by the user's format.
    for (const auto& c : strict) {
        EXPECT_EQ(ParseStrictNumber(c.text, kEnglish), c.english) << c.text;
        EXPECT_EQ(ParseStrictNumber(c.text, kGerman), c.german) << c.text;
    }
}
// clang-format on

TEST_P(Values, CalculationExamples) {
    EditorState state = Apply(Loco(6, "50", "120"), {1, 2, 3});
    EXPECT_EQ(Texts(state), "|80000|||1500|  2000|50|50.00 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2");
    EXPECT_EQ(Texts(Apply(state, {0, 4, -1, INT_MAX})), Texts(state));
    // From base ratio 5.0 the gears step by half of it, below by three quarters.
    for (const auto& [speed, second] : {std::pair{"76", "-7.5"}, {"76.15230460921844", "-8.7"}})
        EXPECT_EQ(Apply(Loco(6, speed), {1}).tx_ueber[1], second);
}

// The ratio fields modes 1 and 2 write ("mode 1|mode 2"), then whether mode 3, steam and
// electric write the forward speed (+). No count may reach past the six fields (sanitizers).
TEST_P(Values, CalculatedFieldsByGearCount) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0|---"},      {1, "0|0+++"},       {2, "0|1+++"},     {3, "0|2+++"},
        {4, "01|23+++"},   {5, "012|234+++"},   {6, "012|345+++"}, {7, "012|4---"},
        {8, "0123|4---"},  {100, "012345|---"}, {-1, "0|---"},     {INT_MAX, "012345|---"},
        {INT_MIN, "0|---"}};
    RecordingSink sink;
    for (const auto& [count, expected] : cases) {
        EditorState state = Loco(count), steam, electric;
        state.tx_ueber.fill("m");
        std::string written;
        for (const int mode : {1, 2}) {
            const EditorState after = Apply(state, {mode});
            for (int i = 0; i < kRatioFields; ++i)
                if (after.tx_ueber[i] != "m") written += static_cast<char>('0' + i);
            written += mode == 1 ? "|" : "";
        }
        PresetSteam(steam = state, kEnglish, sink);
        PresetElectricDiesel(electric = state, kEnglish, sink);
        for (const EditorState& s : {Apply(state, {3}), steam, electric})
            written += s.tx_VmaxV != "118.75" ? '+' : '-';
        EXPECT_EQ(written, expected) << count;
        PresetCity(state);
        PresetWagon(state);
    }
    EXPECT_TRUE(sink.shown.empty());
}

TEST_P(Values, ZeroAndNonFiniteGiveEmptySpeedsAndZeroRatios) {
    EditorState state = Loco(6, "1e-320");
    EXPECT_EQ(SpeedText(state, 0) + SpeedText(state, 1e-320), "");
    EXPECT_EQ(RatioForSpeed(state, 0) + RatioForSpeed(state, 1e-320), 0);
    EXPECT_EQ(Texts(Apply(state, {1})),
              "|80000|||1500|  2000|50|1e-320 118.75|0.0 0.0 0.0 8.0 5.6 3.2");
    state.tx_Treib = "";
    EXPECT_EQ(SpeedText(state, 3.2), "0.00");
    EXPECT_EQ(Texts(Apply(state, {1, 2})),
              "|80000|||1500|  2000||1e-320 118.75|0.0 0.0 0.0 0.0 0.0 0.0");
    state.tx_Treib = state.tx_U3 = "1e300";  // drive constant beyond double
    EXPECT_EQ(SpeedText(state, 2) + FormatDecimal(RatioForSpeed(state, 50), 1), "0.0");
    state.tx_U3 = "1e8";  // base ratio near the top of double: the sums overflow
    state.tx_VMaxR = state.tx_VmaxV = "0.003";
    EXPECT_EQ(Texts(Apply(state, {1, 2, 3})).find_first_of("ina"), std::string::npos);
}

TEST_P(Values, PresetExamples) {
    RecordingSink sink;
    EditorState steam = Loco(), electric = steam, city = steam, wagon = steam;
    wagon.tx_Masse = "80500";
    PresetSteam(steam, kEnglish, sink), PresetElectricDiesel(electric, kEnglish, sink);
    PresetCity(city), PresetWagon(wagon);
    EXPECT_EQ(Texts(steam) + "\n" + Texts(electric) + "\n" + Texts(city) + "\n" + Texts(wagon),
              "|80000|96|20|1500|500 1800 2000|50|50 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2\n"
              "|80000|96|20|1500|700 3200 3500|50|110.83 207.81|-6.0 -9.0 -12.0 8.0 5.6 3.2\n"
              "|80000|||1500|200 600 800|50|50 50|-3.0 -5.3 -7.6 7.6 5.3 3.0\n"
              "|80500|97|3.2|1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2");
    EXPECT_TRUE(sink.shown.empty() && steam.Edited && electric.Edited && city.Edited);
}

// The limit revolutions U1 U2 U3 of steam | of electric and diesel. A power without a number
// stops both with a message: electric changes nothing, steam writes only the brake force, which
// comes before the power.
TEST_P(Values, PresetPowerBands) {
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {"-5", "400 1600 1800|200 2400 2600"},    {"0", "400 1600 1800|200 2400 2600"},
        {"400", "400 1600 1800|200 2400 2600"},   {"400.5", "400 1600 1800|250 2500 2800"},
        {"600", "400 1600 1800|250 2500 2800"},   {"800", "400 1600 1800|300 2800 3000"},
        {"1000", "400 1600 1800|400 2900 3100"},  {"1000.5", "400 1600 1800|500 3000 3200"},
        {"1001", "500 1800 2000|500 3000 3200"},  {"1200", "500 1800 2000|500 3000 3200"},
        {"1400", "500 1800 2000|600 3100 3300"},  {"1600", "500 1800 2000|700 3200 3500"},
        {"1800", "500 1800 2000|800 3300 3600"},  {"1801", "900 2300 2500|1000 3500 3800"},
        {"2000", "900 2300 2500|1000 3500 3800"}, {"3000", "900 2300 2500|1250 3750 4100"},
        {"4000", "900 2300 2500|1500 4000 4500"}, {"4000.01", "900 2300 2500|2000 4500 5000"},
        {"4001", "1000 3000 3300|2000 4500 5000"}, {"", "  2000|  2000"},
        {"abc", "  2000|  2000"},                 {"1500 kW", "  2000|  2000"}};
    // clang-format on
    const std::string said = "Quorvel|48|Das Feld Leistung enth\xC3\xA4lt keine Zahl: \"";
    for (const auto& [power, want] : cases) {
        SCOPED_TRACE(power);
        RecordingSink sink;
        EditorState state = Loco();
        state.tx_Leistung = power;
        PresetElectricDiesel(state, kGerman, sink);
        const std::string electric = state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3;
        PresetSteam(state, kGerman, sink);
        EXPECT_EQ(state.tx_U1 + " " + state.tx_U2 + " " + state.tx_U3 + "|" + electric, want);
        const bool number = want[0] != ' ';
        EXPECT_EQ(sink.shown, std::vector(number ? 0u : 2u, said + power + "\""));
        if (!number) {
            EXPECT_EQ(Texts(state), "|80000|96||" + power +
                                        "|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2");
        }
    }
}

// clang-format off
// One user action in a field: give it a text (nullptr: keep), then per letter of `does`
// release a digit key (k) or Enter (E), or leave the field (L).
struct Step { Field field; const char *text, *does; int index = 0; };

TEST_P(Values, KeyAndFocusSequences) {
    using enum Field;
    const struct { const char* name; std::int32_t gears; bool editedBefore; std::vector<Step> steps;
                   const char* texts; bool edited; } cases[] = {
        {"Enter reads 7,5 as typed: 7", 6, 0, {{tx_VMaxR, "7,5", "kEL"}},
         "80000|||1500|  2000|50|7.5 118.75|-54.3 -81.4 -108.5 8.0 5.6 3.2", 0},
        {"tx_VmaxV after a typed ratio", 6, 0, {{tx_ueber, "6,0", "kL", 4}, {tx_VmaxV, "95", "L"}},
         "80000|||1500|  2000|50|63.33 95|-6.0 -9.0 -12.0 10.0 7.0 4.0", 0},
        {"leaving tx_VmaxV untouched", 6, 0, {{tx_VmaxV, "95", "L"}},
         "80000|||1500|  2000|50|63.33 95|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"typing in tx_Treib and leaving", 6, 0, {{tx_Treib, "40,0", "kL"}},
         "80000|||1500|  2000|40.0|50.67 95.00|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in tx_U3", 6, 1, {{tx_U3, "1000", "E"}},
         "80000|||1500|  1000|50|31.67 59.38|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"middle ratio: Enter does nothing", 6, 0, {{tx_ueber, "-10", "kEL", 1}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -10 -12.0 8.0 5.6 3.2", 1},
        {"passing through tx_VMaxR", 6, 0, {{tx_ueber, "-10", "kL", 1}, {tx_VMaxR, nullptr, "L"}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in the forward edge", 6, 1, {{tx_ueber, "4.0", "E", 5}},
         "80000|||1500|  2000|50|63.33 95.00|-6.0 -9.0 -12.0 8.0 5.6 4.0", 0},
        {"Enter in the reverse edge", 6, 1, {{tx_ueber, "-5.0", "E", 0}},
         "80000|||1500|  2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in tx_ueber(3) of six gears", 6, 0, {{tx_ueber, "4.0", "E", 3}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 4.0 5.6 3.2", 0},
        {"four gears: tx_ueber(3) is the edge", 4, 0, {{tx_ueber, "4,0", "kL", 3}},
         "80000|||1500|  2000|50|63.33 95.00|-6.0 -9.0 -12.0 4.0 5.6 3.2", 0},
        {"leaving an edge untyped", 6, 0, {{tx_ueber, "4,0", "L", 5}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", 0},
        {"seven gears: only index 0 is an edge", 7, 1, {{tx_ueber, "4.0", "EL", 5}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", 1},
        {"no gears: index 0 is an edge", 0, 0, {{tx_ueber, "-5,0", "kL", 0}},
         "80000|||1500|  2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"tx_Masse only normalizes", 6, 1, {{tx_Masse, "80,5", "EL"}},
         "80.5|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 1},
        {"no field", 6, 0, {{tx_Datei, {}, "kEL"}, {tx_ueber, {}, "kEL", 6},
                            {tx_ueber, {}, "EL", -1}},
         "80000|||1500|  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        EditorState state = Loco(c.gears);
        state.tx_Datei = "a,b";
        state.Edited = c.editedBefore;
        for (const Step& s : c.steps) {
            if (s.text) *FieldText(state, s.field, s.index) = s.text;
            for (const char* a = s.does; *a; ++a)
                *a == 'L' ? OnFocusLost(state, s.field, s.index)
                          : OnKeyRelease(state, s.field, *a == 'E' ? kKeyEnter : '5', s.index);
        }
        EXPECT_EQ(Texts(state), std::string("a,b|") + c.texts) << c.name;
        EXPECT_EQ(state.Edited, c.edited) << c.name;
    }
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Locales, Values, ::testing::Values("C", "German_Germany.1252"));
#else
INSTANTIATE_TEST_SUITE_P(Locales, Values, ::testing::Values("C", "de_DE.UTF-8"));
#endif

const std::string kLocoHead =
    "Masse ( 84000 ) \r\nBremskraft ( 90 ) \r\nReibungskraft ( 15 ) \r\nMotor{\r\n"
    "\tLeistung ( 3600 ) \r\n\tGrenzdrehzahl_U1 ( 1000 ) \r\n\tGrenzdrehzahl_U2 ( 3000 ) \r\n"
    "\tGrenzdrehzahl_U3 ( 4000 ) \r\n\tTreibradradius ( 62 ) \r\n";
// A locomotive file with these ratios, one gear each (nullptr: a gear without one).
std::string LocoFile(std::initializer_list<const char*> ratios) {
    std::string text = kLocoHead;
    for (const char* r : ratios)
        text += r ? "\tGang{\r\n\t\tUebersetzung ( " + std::string(r) + " ) \r\n\t}\r\n"
                  : "\tGang{\r\n\t}\r\n";
    return text + "}\r\n";
}
const std::string kLoco = LocoFile({"-4.0", "-6.0", "-8.0", "9.0", "6.3", "3.6"});
const std::string kShown = "|84000|90|15|3600|1000 3000 4000|62|";  // kLoco up to the speeds

// The fixture also plays the open dialog and the host lookup, noting each call.
class Commands : public TempDir, public FileDialog, public HostLookup {
  protected:
    std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                               const std::optional<std::string>& folder) override {
        calls.push_back(filter + "|" + std::to_string(flags) + "|" + folder.value_or("<none>"));
        return answer;
    }
    std::string RollingStockFolder() override { return calls.push_back("host"), host; }
    void Save() { sink.shown.clear(), SaveCommand(state, services); }
    FakeFormat format{".", ","};
    RecordingSink sink;
    std::vector<std::string> calls;
    std::string answer, host;
    Services services{format, sink, *this, *this};
    EditorState state;
};

// The dialog starts in the host's folder, then in the last one. "Original" brings every field
// back. A cancelled open keeps the file but forgets the vehicle type, so that only the
// rolling-stock fields are saved. (The user sequences run presets and saves through the form.)
TEST_F(Commands, OpenDialogFoldersOriginalAndCancel) {
    OpenCommand(state, services);  // host not registered: the empty folder is still passed
    host = "C:\\Zelmo\\Resourcen\\Rollmaterial";
    const std::string path = answer = Put("Lok.txt", kLoco);
    OpenCommand(state, services);
    const std::string loaded = Texts(state);
    EXPECT_EQ(loaded, path + kShown + "235.60 261.78|-4.0 -6.0 -8.0 9.0 6.3 3.6");
    state.tx_Masse = "90000", state.tx_U1 = "1500";
    Save();
    RestoreOriginal(state, services);  // every field back
    const Entries entries = state.Entries;
    state.selected = TypeOption::Opt_Elok;
    answer = "";
    OpenCommand(state, services);
    const std::string given = kOpenFilter + "|6144|";
    EXPECT_THAT(calls, ElementsAre("host", given, "host", given + host, given + dir.string()));
    EXPECT_TRUE(Texts(state) == loaded && state.Entries == entries &&
                state.LastFolder == dir.string());
    EXPECT_TRUE(!state.vehicle.HasMotor && !state.Fra_Motor_visible && !state.Opt_waggon_enabled &&
                state.Opt_DLok_enabled && state.Opt_Elok_enabled &&
                state.selected == TypeOption::Opt_Andere);
    state.tx_Masse = "85000";
    state.tx_Leistung = state.tx_ueber[0] = "1";
    Save();
    EXPECT_EQ(Get(path) + Get(path + "_Orig"), Replaced(kLoco, {{"84000", "85000"}}) + kLoco);
}

// Each file is opened after the locomotive; then tx_ueber(1) = "-7.0" and tx_ueber(5) = "5.0"
// are saved. Shown: the texts, the visible ratio fields, whether the motor parts are.
TEST_F(Commands, ShowsAndSavesWhatTheFileHas) {
    // clang-format off
    const struct { std::string file; Replacements saved; std::string seen; } cases[] = {
        {LocoFile({"-4.0", "-6.0", "2.0", "3.0", nullptr, nullptr}), {{"-6.0", "-7.0"}},
         kShown + "235.60 314.13|-4.0 -6.0 2.0 3.0 6.3 3.6 111100 motor"},
        // No Reibungskraft: the field keeps its text. Both "Masse" take the field.
        {"Masse ( 20000 ) \r\nBremskraft ( 2,5 ) \r\nMasse ( 21000 ) \r\n", {{"20000", "21000"}},
         "|21000|2,5|15|3600|1000 3000 4000|62|235.60 261.78|-4.0 -6.0 -8.0 9.0 6.3 3.6 111111 "},
        // A seventh ratio is neither shown nor saved.
        {LocoFile({"-4.0", "-5.0", "-8.0", "9.0", "6.3", "4.0", "2.0"}),
         {{"-5.0", "-7.0"}, {"( 4.0 )", "( 5.0 )"}},
         kShown + "235.60 235.60|-4.0 -5.0 -8.0 9.0 6.3 4.0 111111 motor"},
        {LocoFile({}), {}, kShown + " |-4.0 -6.0 -8.0 9.0 6.3 3.6 000000 motor"},
        // Names that differ from the fields' only in a letter mirror nothing.
        {"Motor{\r\n\tmasse ( 1 ) \r\n\tGrenzdrehzahl_U4 ( 2 ) \r\n\tGrenzdrehzahlxU1 ( 3 ) \r\n"
         "\tUebersetzunx ( 4 ) \r\n}\r\n", {}, kShown + " |-4.0 -6.0 -8.0 9.0 6.3 3.6 000000 motor"}};
    // clang-format on
    for (const auto& c : cases) {
        OpenPath(state, services, Put("Lok.txt", kLoco));
        answer = Put("Neu.txt", c.file);
        // Both clear HasMotor before the file sets it.
        (&c - cases) % 2 ? OpenChosenFile(state, services, answer) : OpenCommand(state, services);
        EXPECT_EQ(state.LastFolder, dir.string());
        std::string shown = Texts(state).substr(state.tx_Datei.size()) + " ";
        for (bool v : state.tx_ueber_visible) shown += v ? '1' : '0';
        const bool motor = state.Fra_Motor_visible && state.Opt_Elok_enabled;
        EXPECT_EQ(shown + (motor ? " motor" : " "), c.seen);
        EXPECT_EQ(state.Opt_waggon_enabled, !state.Fra_Motor_visible);
        state.tx_ueber[5] = "5.0";
        state.tx_ueber[1] = "-7.0";
        Save();
        EXPECT_EQ(Get(state.tx_Datei), Replaced(c.file, c.saved));
    }
}

// A save asks before it overwrites a file another program changed after the load (later), or
// before it drops what only the file holds (here its unfinished last line) when an older
// backup would not keep it; Nein writes nothing and keeps the edit. Without a backup or with one
// that holds the file, the load notice promises the backup and the save just goes. After
// "Original" the file itself is compared, not its backup.
TEST_F(Commands, AsksBeforeOverwritingAChangedFileOrDroppingWhatNoBackupKeeps) {
    const std::string odd = kLoco + "Rest (", other = Replaced(kLoco, {{"84000", "99999"}});
    const char *changed = " wurde seit dem Laden von einem", *drops = " w";
    // clang-format off
    const struct { std::string file, backup, later; bool yes; const char *notice, *question; } cases[] = {
        {odd, "", "", false, ", die beim ersten Speichern entsteht, beh\xC3\xA4lt", nullptr},
        {odd, odd, "", false, " gibt es schon; sie enth\xC3\xA4lt die Datei, wie sie jetzt ist.", nullptr},
        {odd, kLoco, "", false, "Keine Sicherung beh\xC3\xA4lt die Datei, wie sie jetzt ist.", drops},
        {odd, kLoco, "", true, "Keine Sicherung", drops},
        {kLoco, "", other, false, nullptr, changed},
        {kLoco, "", other, true, nullptr, changed}};
    // clang-format on
    std::string path;
    for (const auto& c : cases) {
        path = Put("Lok.txt", c.file);
        fs::remove(path + "_Orig");
        if (!c.backup.empty()) Put("Lok.txt_Orig", c.backup);
        sink.shown.clear();
        OpenPath(state, services, path);
        ASSERT_EQ(sink.shown.size(), c.notice ? 1u : 0u);
        EXPECT_TRUE(!c.notice || sink.shown[0].find(c.notice) != std::string::npos);
        if (!c.later.empty()) Put("Lok.txt", c.later);
        const std::string& before = c.later.empty() ? c.file : c.later;
        state.tx_Masse = "85000";
        sink.answer = c.yes;
        Save();
        const bool written = c.yes || !c.question;
        ASSERT_EQ(sink.shown.size(), c.question ? 1u : 0u);
        EXPECT_TRUE(!c.question ||
                    sink.shown[0].starts_with("Quorvel|?|Die Datei " + path + c.question));
        EXPECT_EQ(Get(path), written ? Replaced(kLoco, {{"84000", "85000"}}) : before);
        EXPECT_EQ(Get(path + "_Orig"), !c.backup.empty() ? c.backup : written ? before : "");
        EXPECT_EQ(state.tx_Masse, "85000");
        Save();  // the file is in the editor's layout now, or unchanged after Nein
        EXPECT_EQ(sink.shown.size(), written ? 0u : 1u);
    }
    RestoreOriginal(state, services);
    Save();
    EXPECT_TRUE(sink.shown.empty() && Get(path) == other && Get(path + "_Orig") == other);
}

std::string Example(const char* name) {
    return Bytes(fs::path(QUORVEL_EXAMPLES) / name);
}

// Files the editor reads and writes unchanged say nothing; a save that would change more
// than the fields says so once, as do ratios beyond the sixth, and a field whose entry the
// file holds twice (the motor's fields only for a vehicle with a motor: only then saved).
TEST_F(Commands, LoadNoticeToldOnceForWhatASaveWouldChange) {
    std::string seven = "Motor{\r\n", binary(4000, '\0');
    for (int i = 1; i <= 7; ++i) seven += "Gang{ Uebersetzung ( " + std::to_string(i) + " ) }\r\n";
    seven += "}\r\n";
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 7919) % 256);
    const std::string twice =
        "\xE2\x80\x9C steht 2-mal in der Datei. Das Feld zeigt den Wert des "
        "letzten; beim Speichern erhalten alle den Wert des Feldes.";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {Example("elok.txt"), ""}, {Example("dampflok.txt"), ""}, {Example("stadtbus.txt"), ""},
        {Example("waggon.txt"), ""}, {kLoco, ""}, {"Leistung ( 1 ) \r\nLeistung ( 2 ) \r\n", ""},
        {"Masse(1)Motor{Gang{}}}", ""},  // a closing too many comes back as it was
        {binary, "Bin\u00E4rdaten"}, {"Name ( Lok (alt) ) \r\nMasse ( 1 ) ", "Klammer"},
        {"Name ( B\xE4r ) ", "ASCII"}, {"Masse ( 1 ) \x1A", "Steuerzeichen"},
        {"{ Masse ( 1 ) }", "nicht ausgeglichen"},
        {"Motor{ Leistung ( 1 ) Motor}", "Ende einer Gruppe"},
        {"Masse ( 1 ) kg", "letzten vollst\u00E4ndigen"},
        {seven, "7 \u00DCbersetzungen"},
        {"Masse ( 1 ) \r\nMasse ( 2 ) \r\n", "Der Eintrag \xE2\x80\x9EMasse" + twice},
        {kLocoHead + "\tGrenzdrehzahl_U1 ( 5 ) \r\n}\r\n",
         "Der Eintrag \xE2\x80\x9EGrenzdrehzahl_U1" + twice}};
    // clang-format on
    for (const auto& [bytes, told] : cases) {
        SCOPED_TRACE(bytes.substr(0, 40));
        sink.shown.clear();
        OpenChosenFile(state, services, Put("Lok.txt", bytes));
        if (told.empty()) {
            EXPECT_TRUE(sink.shown.empty()) << sink.shown.front();
            continue;
        }
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_THAT(sink.shown[0], StartsWith("Quorvel|64|"));
        EXPECT_THAT(sink.shown[0], ::testing::HasSubstr(told));
        EXPECT_EQ(sink.shown[0].find("_Orig") != std::string::npos,
                  bytes != seven && !told.starts_with("Der Eintrag"));
    }
}

// A file from every power band of the presets (steam, electric, city), saved by the editor,
// loads without a notice.
TEST_F(Commands, NoNoticeForFilesTheEditorWrote) {
    for (const int power : {400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000, 3000, 4000, 4001}) {
        for (const int preset : {0, 1, 2}) {
            SCOPED_TRACE(std::to_string(power) + " preset " + std::to_string(preset));
            const std::string watts = "( " + std::to_string(power) + " )";
            const std::string path =
                Put("Lok.txt", Replaced(Example("elok.txt"), {{"( 3600 )", watts}}));
            fs::remove(dir / "Lok.txt_Orig");
            OpenPath(state, services, path);
            preset == 0   ? PresetSteam(state, format, sink)
            : preset == 1 ? PresetElectricDiesel(state, format, sink)
                          : PresetCity(state);
            Save();
            OpenPath(state, services, path);
            EXPECT_TRUE(sink.shown.empty()) << sink.shown.front();
            EXPECT_EQ(state.tx_Leistung, std::to_string(power));
        }
    }
}

// A save refused or failed names its cause ('@': the path) and writes neither file nor backup;
// refused before the fields are collected, it keeps the entries. Before the save: 'l' the file
// is loaded, '-' nothing is, 'x' its load failed since, 'p' a pipe is put at the path.
TEST_F(Commands, RefusedOrFailedSaveNamesItsCauseAndLeavesTheFile) {
    const auto Q = [](std::string t) { return "\xE2\x80\x9E" + t + "\xE2\x80\x9C"; };
    const auto Holds = [&](const char* label, const std::string& what) {
        return "48|Die Datei wurde nicht gespeichert.\r\nDas Feld " + Q(label) +
               " enth\xC3\xA4lt ein Zeichen, das die Datei nicht aufnehmen kann: " + what + "\r\n";
    };
    std::string masses;
    for (int i = 0; i < 5000; ++i) masses += "Masse ( 1 ) \r\n";
    const std::string missing = (dir / "fehlt" / "Lok.txt").string(),
                      locked = Put("Gesperrt.txt", kLoco);
    fs::permissions(locked, fs::perms::owner_read);
#ifdef _WIN32  // path not found, access denied
    const std::string notFound = "\r\nNummer: 3\r\nFehler: ", denied = "\r\nNummer: 5\r\nFehler: ";
    const bool locks = true;  // the read-only attribute
#else
    const std::string notFound = "\r\nNummer: 2\r\nFehler: Datei oder Ordner nicht gefunden",
                      denied = "\r\nNummer: 13\r\nFehler: Zugriff verweigert";
    const bool locks = !std::ofstream(locked, std::ios::app);  // root writes anyway
#endif
    using enum Field;
    // clang-format off
    const struct { char load; std::string file, bytes; Field field; int index; std::string text, said; bool kept; } cases[] = {
        {'l', "Lok.txt", kLoco, tx_Masse, 0, "80(0", Holds("Masse", Q("(")), true},
        {'l', "Lok.txt", kLoco, tx_U1, 0, "1\t5", Holds("Grenzdrehzahl U1", "Tabulator"), true},
        {'l', "Lok.txt", kLoco, tx_ueber, 1, "-5,\xC3\xA4", Holds("\xC3\x9C" "bersetzung 2", Q("\xC3\xA4")), true},
        {'l', "Lok.txt", kLoco, tx_BremsK, 0, "1\x7F", Holds("Bremskraft", "Steuerzeichen Nr. 127"), true},
        {'l', "Lok.txt", kLoco, tx_ReibK, 0, "\xE4", Holds("Reibungskraft", "Byte 228"), true},
        // 5000 entries take 16 KiB each: 80 MB
        {'l', "Lok.txt", masses, tx_Masse, 0, std::string(16 << 10, '7'),
         "48|Die Datei @ wurde nicht gespeichert: Sie w\xC3\xBCrde 79 MB gro\xC3\x9F", true},
        {'l', "Lok.txt", kLoco, tx_Datei, 0, missing, "16|Fehler beim Speichern von @" + notFound, true},
        {'l', "Lok.txt", kLoco, tx_Datei, 0, "", "16|Fehler beim Speichern" + notFound, true},
        {'l', "Lok.txt", kLoco, tx_Datei, 0, locked, "16|Fehler beim Speichern von @" + denied, true},
        // Nothing read in full: the save would write the empty list over the file.
        {'-', "Lok.txt", kLoco, tx_Masse, 0, "85000", "48|Nicht gespeichert", true},
        {'x', "Lok.txt", kLoco, tx_Masse, 0, "85000", "48|Nicht gespeichert", true},
#ifndef _WIN32  // with "_Orig" beyond the 255 bytes of a name
        {'l', std::string(251, 'n'), kLoco, tx_Masse, 0, "85000", "16|Die Datei @ wurde nicht "
         "gespeichert: Der Name ihrer Sicherung @_Orig ist zu lang f\xC3\xBCr das Dateisystem.", false},
        {'p', "Pipe.txt", kLoco, tx_Masse, 0, "85000", "48|Die Datei @ wurde nicht gespeichert: "
         "Der Pfad ist eine benannte Pipe (FIFO), keine gew\xC3\xB6hnliche Datei.", false},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        if (c.text == locked && !locks) continue;
        const std::string path = Put(c.file, c.bytes);
        c.load == '-' ? void(state = {}) : OpenPath(state, services, path);
        if (c.load == 'x') OpenPath(state, services, path + "x");
        state.tx_Datei = path;
        const std::string entries = FormatEntries(state.Entries);
#ifndef _WIN32
        if (c.load == 'p') fs::remove(path), ::mkfifo(path.c_str(), 0600);  // not waited on
#endif
        *FieldText(state, c.field, c.index) = c.text;
        Save();
        std::string said = c.said;
        for (std::size_t at; (at = said.find('@')) != std::string::npos;)
            said.replace(at, 1, state.tx_Datei);
        EXPECT_THAT(sink.shown, ElementsAre(StartsWith("Quorvel|" + said)));
        EXPECT_EQ(FormatEntries(state.Entries) == entries, c.kept);
        std::error_code tooLong;
        for (const std::string& file : {path, state.tx_Datei})
            EXPECT_TRUE(c.load == 'p' || !fs::exists(file, tooLong) || Get(file) == c.bytes);
        EXPECT_FALSE(fs::exists(state.tx_Datei + "_Orig", tooLong));
    }
    state = {};  // restoring needs a file name
    RestoreOriginal(state, services);
    EXPECT_EQ(sink.shown.back(), "Quorvel|48|Datei nicht gefunden");
    EXPECT_EQ(Texts(state), Texts({}));
}

}  // namespace
}  // namespace quorvel
