#pragma once

#include <optional>
#include <string>

#include "EditorState.h"
#include "Services.h"

// The editor's commands on whole files: open, load, show, save and restore.
namespace quorvel {

// The filter and flags the open dialog is given.
inline const std::string kOpenFilter{"Text-Dateien (*.txt)\0*.txt", 26};
inline constexpr std::uint32_t kOpenFlags = 6144;  // path and file must exist

void OpenCommand(EditorState& state, Services& services);
void LoadFile(EditorState& state, Services& services, const std::string& path);
void ShowEntries(EditorState& state);
void OpenPath(EditorState& state, Services& services, const std::optional<std::string>& path);
void SaveCommand(EditorState& state, Services& services);
void RestoreOriginal(EditorState& state, Services& services);

}  // namespace quorvel
