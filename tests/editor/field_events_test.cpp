#include <gtest/gtest.h>

#include <vector>

#include "EditorTest.h"
#include "FieldEvents.h"

namespace quorvel {
namespace {

using F = Field;

// One user action in a field: give it a text (nullptr: keep), release a key (0: none),
// then leave it or not.
struct Step {
    F field;
    int index;
    const char* text;
    int key;
    bool leave;
};
constexpr int kDigit = '5', kEnter = kKeyEnter;
constexpr bool kLeave = true, kStay = false;

struct Case {
    const char* name;
    std::int32_t gearCount;
    bool editedBefore;
    std::vector<Step> steps;
    const char* texts;  // Masse|U3|Treib|VMaxR VmaxV|ratios
    bool edited;
};

// Radius 50 and limit revolutions 2000: the speed of ratio i is 380 / |i|.
EditorState Start(const Case& c) {
    EditorState state = test::Vehicle380(c.gearCount);
    state.tx_ueber = {"-6.0", "-9.0", "-12.0", "8.0", "5.6", "3.2"};
    state.tx_VMaxR = "63.33";
    state.tx_VmaxV = "118.75";
    state.tx_Datei = "a,b";
    state.Edited = c.editedBefore;
    return state;
}

TEST(FieldEvents, KeyAndFocusSequences) {
    // clang-format off
    const Case cases[] = {
        {"Enter reads 7,5 as typed, as 7; leaving then only normalizes", 6, false,
         {{F::tx_VMaxR, 0, "7,5", kDigit, kStay}, {F::tx_VMaxR, 0, nullptr, kEnter, kLeave}},
         "|2000|50|7.5 118.75|-54.3 -81.4 -108.5 8.0 5.6 3.2", false},
        {"leaving after 7,5 reads 7.5", 6, false, {{F::tx_VMaxR, 0, "7,5", kDigit, kLeave}},
         "|2000|50|7.5 118.75|-50.7 -76.0 -101.3 8.0 5.6 3.2", false},
        {"leaving tx_VMaxR after typing elsewhere rebuilds the reverse ratios", 6, true,
         {{F::tx_VMaxR, 0, "50", 0, kLeave}}, "|2000|50|50 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2", false},
        {"leaving tx_VmaxV after typing in a middle ratio rebuilds the forward ratios", 6, false,
         {{F::tx_ueber, 4, "6,0", kDigit, kLeave}, {F::tx_VmaxV, 0, "95", 0, kLeave}},
         "|2000|50|63.33 95|-6.0 -9.0 -12.0 10.0 7.0 4.0", false},
        {"leaving tx_VmaxV untouched keeps the ratios", 6, false, {{F::tx_VmaxV, 0, "95", 0, kLeave}},
         "|2000|50|63.33 95|-6.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"typing in tx_Treib and leaving normalizes, then recomputes the speeds", 6, false,
         {{F::tx_Treib, 0, "40,0", kDigit, kLeave}}, "|2000|40.0|50.67 95.00|-6.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"Enter in tx_U3 recomputes the speeds", 6, true, {{F::tx_U3, 0, "1000", kEnter, kStay}},
         "|1000|50|31.67 59.38|-6.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"a middle ratio: Enter does nothing, leaving keeps the flag", 6, false,
         {{F::tx_ueber, 1, "-10", kDigit, kStay}, {F::tx_ueber, 1, nullptr, kEnter, kLeave}},
         "|2000|50|63.33 118.75|-6.0 -10 -12.0 8.0 5.6 3.2", true},
        {"passing through tx_VMaxR then overwrites the typed middle ratio", 6, false,
         {{F::tx_ueber, 1, "-10", kDigit, kLeave}, {F::tx_VMaxR, 0, nullptr, 0, kLeave}},
         "|2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"Enter in the forward edge recomputes the speeds", 6, true, {{F::tx_ueber, 5, "4.0", kEnter, kStay}},
         "|2000|50|63.33 95.00|-6.0 -9.0 -12.0 8.0 5.6 4.0", false},
        {"Enter in the reverse edge recomputes the speeds", 6, true, {{F::tx_ueber, 0, "-5.0", kEnter, kStay}},
         "|2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"Enter in tx_ueber(3) of six gears does not", 6, false, {{F::tx_ueber, 3, "4.0", kEnter, kStay}},
         "|2000|50|63.33 118.75|-6.0 -9.0 -12.0 4.0 5.6 3.2", false},
        {"with four gears tx_ueber(3) is the forward edge", 4, false, {{F::tx_ueber, 3, "4,0", kDigit, kLeave}},
         "|2000|50|63.33 95.00|-6.0 -9.0 -12.0 4.0 5.6 3.2", false},
        {"leaving an edge without typing only normalizes", 6, false, {{F::tx_ueber, 5, "4,0", 0, kLeave}},
         "|2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", false},
        {"with seven gears only index 0 is an edge", 7, true, {{F::tx_ueber, 5, "4.0", kEnter, kLeave}},
         "|2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", true},
        {"with no gears only index 0 is an edge", 0, false, {{F::tx_ueber, 0, "-5,0", kDigit, kLeave}},
         "|2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", false},
        {"tx_Masse only normalizes and keeps the flag", 6, true, {{F::tx_Masse, 0, "80,5", kEnter, kLeave}},
         "80.5|2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", true},
        {"tx_Datei has no reaction; indexes outside 0..5 do nothing", 6, false,
         {{F::tx_Datei, 0, nullptr, kDigit, kLeave}, {F::tx_ueber, 6, nullptr, kDigit, kLeave},
          {F::tx_ueber, -1, nullptr, kEnter, kLeave}},
         "|2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        EditorState state = Start(c);
        for (const Step& step : c.steps) {
            if (step.text) *FieldText(state, step.field, step.index) = step.text;
            if (step.key) OnKeyRelease(state, step.field, step.key, step.index);
            if (step.leave) OnFocusLost(state, step.field, step.index);
        }
        EXPECT_EQ(state.tx_Masse + "|" + state.tx_U3 + "|" + state.tx_Treib + "|" + state.tx_VMaxR +
                      " " + state.tx_VmaxV + "|" + test::Ratios(state),
                  c.texts)
            << c.name;
        EXPECT_EQ(state.tx_Datei + state.tx_BremsK + state.tx_ReibK + state.tx_Leistung +
                      state.tx_U1 + state.tx_U2,
                  "a,b")
            << c.name;
        EXPECT_EQ(state.Edited, c.edited) << c.name;
    }
}

}  // namespace
}  // namespace quorvel
