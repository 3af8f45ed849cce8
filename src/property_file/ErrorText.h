#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The text shown after "Fehler:" for a failed file operation. On POSIX the codes a
// read or a save can meet (errno) get a German text, whatever the process locale;
// any other code keeps the system's own text. On Windows the system's text is
// already in the user's language and is kept as it is. path, when given, tells a name
// that is too long from a path that is.
std::string ErrorText(std::int64_t code, std::string systemText, std::string_view path = {});

}  // namespace quorvel
