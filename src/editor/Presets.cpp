#include "Presets.h"

#include <array>
#include <optional>
#include <string>

#include "Calculation.h"
#include "Mod_String.h"
#include "Texts.h"

namespace quorvel {

namespace {

struct LimitRevolutions {
    const char* u1;
    const char* u2;
    const char* u3;
};

// A band holds every power below (steam) or up to (electric and diesel) its edge.
struct PowerBand {
    double edge;
    LimitRevolutions revolutions;
};

// Steam bands hold the powers below their edge, so 1000.5 is still the lowest band.
constexpr std::array<PowerBand, 3> kSteamBands{{
    {1001, {"400", "1600", "1800"}},
    {1801, {"500", "1800", "2000"}},
    {4001, {"900", "2300", "2500"}},
}};
constexpr LimitRevolutions kSteamTop{"1000", "3000", "3300"};

constexpr std::array<PowerBand, 11> kElectricBands{{
    {400, {"200", "2400", "2600"}},
    {600, {"250", "2500", "2800"}},
    {800, {"300", "2800", "3000"}},
    {1000, {"400", "2900", "3100"}},
    {1200, {"500", "3000", "3200"}},
    {1400, {"600", "3100", "3300"}},
    {1600, {"700", "3200", "3500"}},
    {1800, {"800", "3300", "3600"}},
    {2000, {"1000", "3500", "3800"}},
    {3000, {"1250", "3750", "4100"}},
    {4000, {"1500", "4000", "4500"}},
}};
constexpr LimitRevolutions kElectricTop{"2000", "4500", "5000"};

LimitRevolutions SteamRevolutions(double power) {
    for (const PowerBand& band : kSteamBands) {
        if (power < band.edge) return band.revolutions;
    }
    return kSteamTop;
}

LimitRevolutions ElectricRevolutions(double power) {
    for (const PowerBand& band : kElectricBands) {
        if (power <= band.edge) return band.revolutions;
    }
    return kElectricTop;
}

// U3 is written last so that the speed and ratio computations after it read the new one.
void WriteRevolutions(EditorState& state, const LimitRevolutions& revolutions) {
    state.tx_U1 = revolutions.u1;
    state.tx_U2 = revolutions.u2;
    state.tx_U3 = revolutions.u3;
}

double Mass(const EditorState& state) {
    return ParseLeadingNumber(state.tx_Masse);
}
std::string BrakeForce(double mass) {
    return FormatDecimal(mass * 0.0012);
}
std::string LocomotiveFriction(double mass) {
    return FormatDecimal(mass * 0.00025);
}

// The revolutions depend on the power; without a number there is nothing sound to pick.
std::optional<double> Power(const EditorState& state, const NumberFormat& format,
                            MessageSink& messages) {
    std::optional<double> power = ParseStrictNumber(state.tx_Leistung, format);
    if (!power) {
        messages.ShowMessage(kAppTitle, texts::PowerNoNumber(state.tx_Leistung),
                             MessageIcon::Exclamation);
    }
    return power;
}

void ForwardTopSpeed(EditorState& state) {
    if (const auto edge = ForwardEdgeIndex(state.vehicle.GearCount)) {
        state.tx_VmaxV =
            SpeedText(state, ParseLeadingNumber(state.tx_ueber[static_cast<std::size_t>(*edge)]));
    }
}

}  // namespace

void PresetSteam(EditorState& state, const NumberFormat& format, MessageSink& messages) {
    const double mass = Mass(state);
    state.tx_BremsK = BrakeForce(mass);
    const std::optional<double> power = Power(state, format, messages);
    if (!power) return;
    state.tx_ReibK = LocomotiveFriction(mass);
    WriteRevolutions(state, SteamRevolutions(*power));
    state.tx_VMaxR = "50";
    Recalculate(state, 1);
    ForwardTopSpeed(state);
}

void PresetElectricDiesel(EditorState& state, const NumberFormat& format, MessageSink& messages) {
    const double mass = Mass(state);
    const std::optional<double> power = Power(state, format, messages);
    if (!power) return;
    state.tx_BremsK = BrakeForce(mass);
    state.tx_ReibK = LocomotiveFriction(mass);
    WriteRevolutions(state, ElectricRevolutions(*power));
    // Both top speeds from the present ratios and the new U3; no ratio changes.
    Recalculate(state, 3);
}

void PresetCity(EditorState& state) {
    WriteRevolutions(state, {"200", "600", "800"});
    state.tx_VMaxR = "50";
    Recalculate(state, 1);
    state.tx_VmaxV = "50";
    Recalculate(state, 2);
}

void PresetWagon(EditorState& state) {
    const double mass = Mass(state);
    state.tx_BremsK = BrakeForce(mass);
    state.tx_ReibK = FormatDecimal(mass / 25000, 1);
}

}  // namespace quorvel
