#pragma once

#include <string>
#include <string_view>

#include "C_Name_Val.h"

namespace quorvel {

// What the "_Orig" backup of a loaded file holds: there is none yet (the first save
// makes it from the file as it is), it holds the file's bytes, or it holds an older
// version and will not be replaced.
enum class BackupState { None, Holds, Older };

// Whether a save would change the file beyond its field values: the file's characters
// other than blanks, tabs and line ends would not come back in the same order from
// the entries read from it. Linear in the bytes and the entries, whatever the nesting.
bool ChangesBeyondFields(std::string_view bytes, const Entries& entries);

// What the user should hear right after a load, as one German text; empty when there
// is nothing to tell. Three things are told:
// - when changes is true (ChangesBeyondFields), that saving would change the file
//   beyond its field values: the kinds of change found (binary data, brackets inside a
//   value, unbalanced groups, text before a group closing, ...) and whether a backup
//   keeps the file as it is, by backup;
// - a field whose entry the file holds more than once (all take the field's text on
//   save); the motor's fields only when motor is true, as only then are they saved;
// - the file holds more ratios than the window has fields.
std::string LoadNotice(std::string_view bytes, const Entries& entries, bool motor, bool changes,
                       BackupState backup);

}  // namespace quorvel
