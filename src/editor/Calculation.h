#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "EditorState.h"

// Keeps the top speeds and the gear ratios consistent: a gear with ratio i runs at
// |K / i| km/h with K = radius (tx_Treib) x limit revolutions (tx_U3) x 0.0038.
namespace quorvel {

// The index of the fastest forward gear, GearCount - 1, when that ratio field exists;
// nullopt for GearCount below 1 or above 6. Computed without overflow for any count.
std::optional<int> ForwardEdgeIndex(std::int32_t gearCount);

// The speed for `ratio` with two decimals; empty for ratio 0 and for a speed that is not
// a finite number.
std::string SpeedText(const EditorState& state, double ratio);

// The ratio for `speed` (negative for a negative speed); 0 for speed 0 and for a ratio
// that is not a finite number.
double RatioForSpeed(const EditorState& state, double speed);

// Mode 1 rebuilds the reverse ratios from tx_VMaxR, mode 2 the forward ratios from
// tx_VmaxV, mode 3 both top speeds from tx_ueber(0) and tx_ueber(GearCount - 1); any
// other mode does nothing. Only the six ratio fields exist: a step that would read or
// write a ratio field outside 0..5 is skipped and changes nothing, the other steps run
// as usual. So with GearCount 0 (or negative) mode 2 and the second step of mode 3 do
// nothing; above 6 mode 1 stops at tx_ueber(5), mode 2 writes only tx_ueber(4), built on
// the text tx_ueber(5) already holds (GearCount 7 to 9), or nothing (10 and more), and
// mode 3 leaves tx_VmaxV as it is.
void Recalculate(EditorState& state, std::int32_t mode);

}  // namespace quorvel
