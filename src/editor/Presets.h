#pragma once

#include "EditorState.h"
#include "Platform.h"

// The reactions of the vehicle-type options: each fills the values that follow from the
// type. None of them touches Edited, HasMotor or GearCount; "Andere" has no reaction.
namespace quorvel {

// Opt_DLok, steam locomotive: brake and friction force from tx_Masse, limit revolutions
// by the power in tx_Leistung, reverse top speed 50 with the reverse ratios rebuilt for
// it, forward top speed from the present forward ratios. When tx_Leistung holds no number
// the preset stops after writing tx_BremsK and tells the user through `messages`.
void PresetSteam(EditorState& state, const NumberFormat& format, MessageSink& messages);

// Opt_Elok, electric or diesel locomotive: brake and friction force, limit revolutions by
// power, both top speeds from the present ratios. When tx_Leistung holds no number it
// changes nothing and tells the user through `messages`.
void PresetElectricDiesel(EditorState& state, const NumberFormat& format, MessageSink& messages);

// Opt_Stadt, city road vehicle: fixed limit revolutions, both top speeds 50 with all
// ratios rebuilt for them.
void PresetCity(EditorState& state);

// Opt_waggon, wagon: brake and friction force from tx_Masse.
void PresetWagon(EditorState& state);

}  // namespace quorvel
