#include "Calculation.h"

#include <algorithm>
#include <cmath>

#include "Mod_String.h"

namespace quorvel {

namespace {

// n / 2 rounded to the nearest whole number, halves to the even one (-0.5 and 0.5 give
// 0, 1.5 and 2.5 give 2). Integer arithmetic keeps it exact and independent of the
// floating-point rounding mode.
std::int64_t HalfRoundedToEven(std::int64_t n) {
    const std::int64_t quotient = n / 2;  // towards zero
    const std::int64_t remainder = n % 2;
    if (remainder == 0 || quotient % 2 == 0) return quotient;
    return quotient + remainder;
}

double DriveConstant(const EditorState& state) {
    const double r = ParseLeadingNumber(state.tx_Treib);
    const double u = ParseLeadingNumber(state.tx_U3);
    return r * u * 0.0038;
}

// Consecutive gears differ by this share of the base ratio.
double StepFactor(double baseRatio) {
    return std::floor(baseRatio) > 4 ? 0.5 : 0.75;
}

std::string RatioText(double ratio) {
    return FormatDecimal(ratio, 1);
}

double ReadRatio(const EditorState& state, std::int64_t index) {
    return ParseLeadingNumber(state.tx_ueber[static_cast<std::size_t>(index)]);
}

void WriteRatio(EditorState& state, std::int64_t index, double ratio) {
    state.tx_ueber[static_cast<std::size_t>(index)] = RatioText(ratio);
}

// Reverse ratios from tx_VMaxR: index 0 upwards, each built on the text just written.
void ReverseRatios(EditorState& state) {
    const std::int64_t k = HalfRoundedToEven(std::int64_t{state.vehicle.GearCount} - 2);
    const double b = RatioForSpeed(state, ParseLeadingNumber(state.tx_VMaxR));
    const double step = StepFactor(b) * b;
    WriteRatio(state, 0, -b);
    const std::int64_t last = std::min<std::int64_t>(k, kRatioFields - 1);
    for (std::int64_t e = 1; e <= last; ++e) {
        WriteRatio(state, e, -(std::fabs(ReadRatio(state, e - 1)) + step));
    }
}

// Forward ratios from tx_VmaxV: the last gear downwards, each built on the text just
// written. Steps reading index 6 or more are skipped, so the first step that runs reads
// whatever tx_ueber(5) holds.
void ForwardRatios(EditorState& state) {
    const std::int64_t count = state.vehicle.GearCount;
    const std::int64_t d = HalfRoundedToEven(count);
    const double b = RatioForSpeed(state, ParseLeadingNumber(state.tx_VmaxV));
    const double step = StepFactor(b) * b;
    if (const auto edge = ForwardEdgeIndex(state.vehicle.GearCount)) WriteRatio(state, *edge, b);
    const std::int64_t first = std::min<std::int64_t>(count - 2, kRatioFields - 2);
    const std::int64_t stop = std::max<std::int64_t>(d, 0);
    for (std::int64_t e = first; e >= stop; --e) {
        WriteRatio(state, e, ReadRatio(state, e + 1) + step);
    }
}

void TopSpeeds(EditorState& state) {
    state.tx_VMaxR = SpeedText(state, ReadRatio(state, 0));
    if (const auto edge = ForwardEdgeIndex(state.vehicle.GearCount)) {
        state.tx_VmaxV = SpeedText(state, ReadRatio(state, *edge));
    }
}

}  // namespace

std::optional<int> ForwardEdgeIndex(std::int32_t gearCount) {
    if (gearCount < 1 || gearCount > kRatioFields) return std::nullopt;
    return gearCount - 1;
}

std::string SpeedText(const EditorState& state, double ratio) {
    if (ratio == 0) return "";
    const double speed = std::fabs(DriveConstant(state) / ratio);
    if (!std::isfinite(speed)) return "";
    return FormatDecimal(speed, 2);
}

double RatioForSpeed(const EditorState& state, double speed) {
    if (speed == 0) return 0;
    const double ratio = DriveConstant(state) / speed;
    return std::isfinite(ratio) ? ratio : 0;
}

void Recalculate(EditorState& state, std::int32_t mode) {
    switch (mode) {
        case 1:
            ReverseRatios(state);
            break;
        case 2:
            ForwardRatios(state);
            break;
        case 3:
            TopSpeeds(state);
            break;
        default:
            break;
    }
}

}  // namespace quorvel
