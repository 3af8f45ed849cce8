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

// Clears HasMotor, hides the engine frame and selects "Andere", then lets the user choose
// a file, starting in LastFolder or, while that is empty, in the host's rolling-stock
// folder. A cancelled dialog loads nothing.
void OpenCommand(EditorState& state, Services& services);

// The open command for a file the user chose another way (dropped on the window, named on
// the command line): what the command does before and after its dialog, without it.
void OpenChosenFile(EditorState& state, Services& services, const std::string& path);

// Shows the path, reads the file into a new entry list, shows its values when it could be
// read, and sets the engine frame and the type options by HasMotor. Then tells the user,
// in one information message, when a save would change the file beyond its fields or
// when it holds more ratios than there are fields (LoadNotice).
void LoadFile(EditorState& state, Services& services, const std::string& path);

// Copies the entries' values into the fields. Only the first six ratios have fields; a
// later one is neither shown nor saved. With a motor, the ratio fields left over are
// hidden and both top speeds are computed; without any ratio both are empty.
void ShowEntries(EditorState& state);

// Loads the file without the dialog; nothing without a path.
void OpenPath(EditorState& state, Services& services, const std::optional<std::string>& path);

// Copies the field texts into every entry of a matching name (the engine's only while
// HasMotor) and saves the file with its one-time backup. A text the file cannot hold -
// a bracket, or a byte outside printable ASCII - refuses the whole save with a message
// naming the field, and so does an output beyond its bound; nothing is changed or written
// then. Each field text is stored once, shared by all entries of its name. A failed save
// is told by its cause (a backup name too long is told as such); the file keeps its old
// bytes. Nothing it meets escapes as an exception.
void SaveCommand(EditorState& state, Services& services);

// Loads the backup, or the file itself when it has none, and shows the file's own path
// again. Without a path it reads nothing and tells the user the file was not found.
void RestoreOriginal(EditorState& state, Services& services);

}  // namespace quorvel
