#include <climits>

#include "Calculation.h"
#include "EditorTest.h"
#include "Mod_String.h"

namespace quorvel {
namespace {

using test::Ratios;
using test::Texts;
using Calculation = test::LocaleTest;

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

TEST_P(Calculation, WorkedExamplesAndOrder) {
    EditorState state = Apply(Example(), {1, 2, 3});
    EXPECT_EQ(Texts(state), "|||||  2000|50|50.00 118.75|-7.6 -11.4 -15.2 8.0 5.6 3.2");
    state.tx_ueber[0] = "7.6";  // the sign does not change the speed
    EXPECT_EQ(Apply(state, {3}).tx_VMaxR, "50.00");
    EXPECT_EQ(Texts(Apply(state, {0, 4, -1, INT_MAX})), Texts(state));

    // The mode that runs last decides a field both write.
    EXPECT_EQ(Apply(Example(5), {1, 2}).tx_ueber[2], "8.0");
    EXPECT_EQ(Apply(Example(5), {2, 1}).tx_ueber[2], "-15.2");
    EXPECT_EQ(Apply(Example(1), {1}).tx_ueber[0], "-7.6");
    EXPECT_EQ(Texts(Apply(Example(1), {1, 2, 3})), "|||||  2000|50|118.75 118.75|3.2     ");

    state.tx_VMaxR = "76";  // base ratio 5.0: step 0.5
    EXPECT_EQ(Ratios(Apply(state, {1})).substr(0, 15), "-5.0 -7.5 -10.0");
    state.tx_VMaxR = "76.15230460921844";  // base ratio 4.99: step 0.75
    EXPECT_EQ(Ratios(Apply(state, {1})).substr(0, 15), "-5.0 -8.7 -12.4");
}

// Which ratio fields modes 1 and 2 write, and whether mode 3 writes the forward speed.
TEST_P(Calculation, FieldsWrittenByGearCount) {
    // clang-format off
    const struct { std::int32_t count; const char *mode1, *mode2; bool forwardSpeed; } cases[] = {
        {0, "0", "", false}, {1, "0", "0", true}, {2, "0", "1", true}, {3, "0", "2", true},
        {4, "01", "23", true}, {5, "012", "234", true}, {6, "012", "345", true},
        {7, "012", "4", false}, {8, "0123", "4", false}, {9, "01234", "4", false},
        {10, "01234", "", false}, {100, "012345", "", false},
        {-1, "0", "", false}, {INT_MAX, "012345", "", false}, {INT_MIN, "0", "", false}};
    // clang-format on
    for (const auto& c : cases) {
        EditorState state = Example(c.count);
        state.tx_ueber.fill("m");
        for (const int mode : {1, 2}) {
            const EditorState after = Apply(state, {mode});
            std::string written;
            for (int i = 0; i < kRatioFields; ++i) {
                if (after.tx_ueber[i] != "m") written += static_cast<char>('0' + i);
            }
            EXPECT_EQ(written, mode == 1 ? c.mode1 : c.mode2) << c.count << " mode " << mode;
        }
        EXPECT_EQ(Apply(state, {3}).tx_VmaxV != "120", c.forwardSpeed) << c.count;
    }
}

TEST_P(Calculation, ZeroAndNonFiniteValuesGiveEmptySpeedsAndZeroRatios) {
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

QUORVEL_IN_BOTH_LOCALES(Calculation);

}  // namespace
}  // namespace quorvel
