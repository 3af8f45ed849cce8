#pragma once

#include <string>
#include <string_view>

#include "C_Name_Val.h"

namespace quorvel {

// What the user should hear right after a load, as one German text; empty when there
// is nothing to tell. Two things are told:
// - saving would change the file beyond its field values: the file's characters other
//   than blanks, tabs and line ends would not come back in the same order from the
//   entries read from it. The text names the kinds of change found (binary data,
//   brackets inside a value, unbalanced groups, text before a group closing, ...) and
//   that the "_Orig" backup keeps the file as it was;
// - the file holds more ratios than the window has fields.
std::string LoadNotice(std::string_view bytes, const Entries& entries);

}  // namespace quorvel
