#include "FieldEvents.h"

#include "Calculation.h"
#include "Mod_String.h"

namespace quorvel {

namespace {

// The recalculation a speed-relevant field starts; 0 for the fields that only normalize.
int ModeOf(Field field) {
    switch (field) {
        case Field::tx_Treib:
        case Field::tx_U3:
            return 3;
        case Field::tx_VMaxR:
            return 1;
        case Field::tx_VmaxV:
            return 2;
        default:
            return 0;
    }
}

// The two ratio fields that give the top speeds: the fastest reverse gear at index 0 and
// the fastest forward gear at GearCount - 1 (when that field exists).
bool IsEdgeRatio(const EditorState& state, int index) {
    return index == 0 || ForwardEdgeIndex(state.vehicle.GearCount) == index;
}

bool IsRatioIndex(int index) {
    return index >= 0 && index < kRatioFields;
}

}  // namespace

std::string* FieldText(EditorState& state, Field field, int index) {
    switch (field) {
        case Field::tx_Masse:
            return &state.tx_Masse;
        case Field::tx_BremsK:
            return &state.tx_BremsK;
        case Field::tx_ReibK:
            return &state.tx_ReibK;
        case Field::tx_Leistung:
            return &state.tx_Leistung;
        case Field::tx_U1:
            return &state.tx_U1;
        case Field::tx_U2:
            return &state.tx_U2;
        case Field::tx_U3:
            return &state.tx_U3;
        case Field::tx_Treib:
            return &state.tx_Treib;
        case Field::tx_VMaxR:
            return &state.tx_VMaxR;
        case Field::tx_VmaxV:
            return &state.tx_VmaxV;
        case Field::tx_ueber:
            return IsRatioIndex(index) ? &state.tx_ueber[static_cast<std::size_t>(index)] : nullptr;
        case Field::tx_Datei:
            return &state.tx_Datei;
        case Field::None:
            break;
    }
    return nullptr;
}

void OnKeyRelease(EditorState& state, Field field, int keyCode, int index) {
    if (field == Field::tx_ueber) {
        if (!IsRatioIndex(index)) return;
        if (keyCode != kKeyEnter) {
            state.Edited = true;
        } else if (IsEdgeRatio(state, index)) {
            state.Edited = false;
            Recalculate(state, 3);
        }
        // Enter in a middle ratio field does nothing: the speeds follow the edges only.
        return;
    }
    const int mode = ModeOf(field);
    if (mode == 0) return;
    if (keyCode == kKeyEnter) {
        // Enter does not normalize: the recalculation reads the text as typed.
        state.Edited = false;
        Recalculate(state, mode);
    } else {
        state.Edited = true;
    }
}

void OnFocusLost(EditorState& state, Field field, int index) {
    std::string* text = FieldText(state, field, index);
    if (text == nullptr || field == Field::tx_Datei) return;
    // Normalized first, so a recalculation started here reads the text with a point.
    NormalizeDecimalField(*text);

    if (field == Field::tx_ueber) {
        if (state.Edited && IsEdgeRatio(state, index)) {
            state.Edited = false;
            Recalculate(state, 3);
        }
        return;
    }
    switch (field) {
        case Field::tx_Treib:
        case Field::tx_U3:
            if (state.Edited) {
                Recalculate(state, 3);
                state.Edited = false;
            }
            break;
        case Field::tx_VMaxR:
        case Field::tx_VmaxV:
            if (state.Edited) Recalculate(state, ModeOf(field));
            state.Edited = false;
            break;
        default:
            break;
    }
}

}  // namespace quorvel
