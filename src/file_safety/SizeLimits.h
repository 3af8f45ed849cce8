#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

// The bounds that keep an absurd file from filling the memory or the disk.
namespace quorvel {

// The bytes this process can still take: the least of what the machine has free
// (memory and swap), what its control group and its address-space limit leave.
std::uint64_t AvailableMemory();

// What reading a file of that size may take at most: the bytes, in the worst case of a
// file of "}" one entry for each byte, and a copy of names that line breaks split.
std::uint64_t ReadMemoryNeeded(std::uint64_t fileSize);

// False, after telling the user, when reading a file of size bytes would need more
// memory than is available; checked before a byte is read.
bool FitsInMemory(std::uint64_t size, const std::string& path, MessageSink& sink);

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
