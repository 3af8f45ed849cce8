#include <vector>

#include "EditorTest.h"
#include "FieldEvents.h"

namespace quorvel {
namespace {

using enum Field;

// One user action in a field: give it a text (nullptr: keep), then per letter of `does`
// release a digit key (k) or Enter (E), or leave the field (L).
// clang-format off
struct Step { Field field; const char *text, *does; int index = 0; };

// From radius 50, limit revolutions 2000 (speed of ratio i: 380 / |i|) and the ratios
// -6.0 -9.0 -12.0 8.0 5.6 3.2 with their top speeds 63.33 and 118.75; tx_Datei is "a,b".
TEST(FieldEvents, KeyAndFocusSequences) {
    const struct { const char* name; std::int32_t gears; bool editedBefore; std::vector<Step> steps;
                   const char* texts; bool edited; } cases[] = {
        {"Enter reads 7,5 as typed: 7", 6, 0, {{tx_VMaxR, "7,5", "kEL"}},
         "||||  2000|50|7.5 118.75|-54.3 -81.4 -108.5 8.0 5.6 3.2", 0},
        {"leaving reads 7,5 as 7.5", 6, 0, {{tx_VMaxR, "7,5", "kL"}},
         "||||  2000|50|7.5 118.75|-50.7 -76.0 -101.3 8.0 5.6 3.2", 0},
        {"tx_VmaxV after a typed ratio", 6, 0, {{tx_ueber, "6,0", "kL", 4}, {tx_VmaxV, "95", "L"}},
         "||||  2000|50|63.33 95|-6.0 -9.0 -12.0 10.0 7.0 4.0", 0},
        {"leaving tx_VmaxV untouched", 6, 0, {{tx_VmaxV, "95", "L"}},
         "||||  2000|50|63.33 95|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"typing in tx_Treib and leaving", 6, 0, {{tx_Treib, "40,0", "kL"}},
         "||||  2000|40.0|50.67 95.00|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in tx_U3", 6, 1, {{tx_U3, "1000", "E"}},
         "||||  1000|50|31.67 59.38|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"middle ratio: Enter does nothing", 6, 0, {{tx_ueber, "-10", "kEL", 1}},
         "||||  2000|50|63.33 118.75|-6.0 -10 -12.0 8.0 5.6 3.2", 1},
        {"passing through tx_VMaxR", 6, 0, {{tx_ueber, "-10", "kL", 1}, {tx_VMaxR, nullptr, "L"}},
         "||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in the forward edge", 6, 1, {{tx_ueber, "4.0", "E", 5}},
         "||||  2000|50|63.33 95.00|-6.0 -9.0 -12.0 8.0 5.6 4.0", 0},
        {"Enter in the reverse edge", 6, 1, {{tx_ueber, "-5.0", "E", 0}},
         "||||  2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"Enter in tx_ueber(3) of six gears", 6, 0, {{tx_ueber, "4.0", "E", 3}},
         "||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 4.0 5.6 3.2", 0},
        {"four gears: tx_ueber(3) is the edge", 4, 0, {{tx_ueber, "4,0", "kL", 3}},
         "||||  2000|50|63.33 95.00|-6.0 -9.0 -12.0 4.0 5.6 3.2", 0},
        {"leaving an edge untyped", 6, 0, {{tx_ueber, "4,0", "L", 5}},
         "||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", 0},
        {"seven gears: only index 0 is an edge", 7, 1, {{tx_ueber, "4.0", "EL", 5}},
         "||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 4.0", 1},
        {"no gears: index 0 is an edge", 0, 0, {{tx_ueber, "-5,0", "kL", 0}},
         "||||  2000|50|76.00 118.75|-5.0 -9.0 -12.0 8.0 5.6 3.2", 0},
        {"tx_Masse only normalizes", 6, 1, {{tx_Masse, "80,5", "EL"}},
         "80.5||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 1},
        {"no field", 6, 0, {{tx_Datei, {}, "kEL"}, {tx_ueber, {}, "kEL", 6}, {tx_ueber, {}, "EL", -1}},
         "||||  2000|50|63.33 118.75|-6.0 -9.0 -12.0 8.0 5.6 3.2", 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        EditorState state = test::Vehicle380(c.gears);
        state.tx_ueber = {"-6.0", "-9.0", "-12.0", "8.0", "5.6", "3.2"};
        state.tx_VMaxR = "63.33";
        state.tx_VmaxV = "118.75";
        state.tx_Datei = "a,b";
        state.Edited = c.editedBefore;
        for (const Step& step : c.steps) {
            if (step.text) *FieldText(state, step.field, step.index) = step.text;
            for (const char* a = step.does; *a; ++a) {
                if (*a == 'L') OnFocusLost(state, step.field, step.index);
                if (*a != 'L')
                    OnKeyRelease(state, step.field, *a == 'E' ? kKeyEnter : '5', step.index);
            }
        }
        EXPECT_EQ(test::Texts(state), std::string("a,b|") + c.texts) << c.name;
        EXPECT_EQ(state.Edited, c.edited) << c.name;
    }
}

}  // namespace
}  // namespace quorvel
