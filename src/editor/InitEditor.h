#pragma once

#include "EditorState.h"

namespace quorvel {

// The window's load step: "Andere" selected, the two locomotive options disabled and the
// engine frame hidden. Every other member keeps the value it was created with.
void InitEditor(EditorState& state);

}  // namespace quorvel
