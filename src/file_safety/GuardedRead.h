#pragma once

#include <string>
#include <string_view>

#include "C_Name_Val.h"
#include "FileIdentity.h"
#include "Platform.h"

namespace quorvel {

// Reads as ReadEntries does, within the memory this process has left (see SizeLimits.h):
// a file that would not fit is refused before the kernel steps in. identity, when given,
// learns which file was read, for the lost-update check of a later save. This is the read
// every command makes.
bool ReadEntriesGuarded(const std::string& path, Entries& list, Vehicle& vehicle,
                        const NumberFormat& format, MessageSink& sink,
                        FileIdentity* identity = nullptr, std::string_view* bytesRead = nullptr);

}  // namespace quorvel
