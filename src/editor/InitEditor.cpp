#include "InitEditor.h"

namespace quorvel {

void InitEditor(EditorState& state) {
    state.selected = TypeOption::Opt_Andere;
    state.Opt_DLok_enabled = false;
    state.Opt_Elok_enabled = false;
    state.Fra_Motor_visible = false;
}

}  // namespace quorvel
