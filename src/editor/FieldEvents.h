#pragma once

#include <string>

#include "EditorState.h"

// The reactions of the text fields to the user's key releases and focus losses.
namespace quorvel {

enum class Field {
    None,  // a control that shows no field
    tx_Datei,
    tx_Masse,
    tx_BremsK,
    tx_ReibK,
    tx_Leistung,
    tx_U1,
    tx_U2,
    tx_U3,
    tx_Treib,
    tx_VMaxR,
    tx_VmaxV,
    tx_ueber
};

inline constexpr int kKeyEnter = 13;

// index is the ratio field's index for Field::tx_ueber and ignored otherwise.

// The text of a field; nullptr for a ratio index outside 0..5.
std::string* FieldText(EditorState& state, Field field, int index = 0);

// A ratio index outside 0..5 names no field and does nothing; tx_Datei has no reaction.
// A key release sets Edited in the recalculating fields (tx_Treib, tx_U3, tx_VMaxR,
// tx_VmaxV, the ratio fields); Enter there recalculates at once, without normalizing. A
// focus loss normalizes the decimal comma first and recalculates only after typing.
void OnKeyRelease(EditorState& state, Field field, int keyCode, int index = 0);
void OnFocusLost(EditorState& state, Field field, int index = 0);

}  // namespace quorvel
