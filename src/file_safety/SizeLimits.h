#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

// The bounds that keep an absurd file from filling the memory or the disk.
namespace quorvel {

// The bytes this process can still take: the least of what the machine has free
// (memory and swap), what its control groups and its address-space limit leave.
std::uint64_t AvailableMemory();

// What the control groups of this process leave, version 2 (memory.max and memory.high
// less memory.current) and version 1 (memory.limit_in_bytes less memory.usage_in_bytes),
// from the group itself up to the root; the maximum when none sets a limit. The files
// are looked up below root ("" for the system's own; tests pass a folder of their own).
std::uint64_t ControlGroupLeft(const std::string& root);

// False, after telling the user, when reading the file at path needs more than is
// available: need is the bytes the read takes at least, taken the part of them it
// holds already (and that the system no longer counts as available), upTo what it may
// take at most, the need the user is told (need when not given).
bool FitsInMemory(std::uint64_t need, std::uint64_t taken, const std::string& path,
                  MessageSink& sink, std::uint64_t upTo = 0);

// The need that any machine the window runs on can meet: asking the system costs more
// than reading a vehicle file.
inline constexpr std::uint64_t kSurelyAvailable = 64ULL << 20;

// A save may write this much whatever the file was, and more only up to 16 times the
// loaded file's size: beyond both, only absurd nesting gets there.
inline constexpr std::uint64_t kSaveFloor = 64ULL << 20;
inline constexpr std::uint64_t kSaveGrowth = 16;
inline bool SaveTooLarge(std::uint64_t output, std::uint64_t loadedSize) {
    return output > kSaveFloor && loadedSize < (output + kSaveGrowth - 1) / kSaveGrowth;
}

// The refusal of such a save, naming the cause.
std::string SaveTooLargeText(const std::string& path, std::uint64_t output,
                             std::uint64_t loadedSize, std::uint64_t indentation);

}  // namespace quorvel
