#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "C_Name_Val.h"
#include "Platform.h"

namespace quorvel {

// Cuts the bytes of a property file into entries and appends them to the list;
// restarts vehicle.GearCount and sets vehicle.HasMotor when a "Motor" entry is met.
// The list keeps one copy of the bytes; its entries view it.
void ParseEntries(std::string_view bytes, Entries& list, Vehicle& vehicle,
                  const NumberFormat& format);

// What a read asks of the layer that keeps files safe (file_safety, which builds on the
// format): whether the memory left takes the read, and which file was read. The format
// itself knows nothing of the machine's memory or of file identities.
class ReadGuard {
  public:
    virtual ~ReadGuard() = default;
    // False, after telling the user, when the read needs more than is left: need the
    // bytes it takes at least, taken the part of them it holds already, upTo the most it
    // may take (the need the user is told; need when 0).
    virtual bool Fits(std::uint64_t need, std::uint64_t taken, std::uint64_t upTo) = 0;
    // Whether need bytes could be more than is left now: only then are the bytes read
    // measured before their entries are built.
    virtual bool MayNotFit(std::uint64_t need) = 0;
    // The file read, still open, with all its bytes. False, after telling the user, when
    // what the guard must learn of it could not be learnt.
    virtual bool Read(std::FILE* file, std::string_view bytes) = 0;
};

// Reads the file at path into the list. False (after the user was told) when the
// file could not be opened or read, or would not fit in the memory the guard leaves; the
// list and vehicle are then left as they were. Without a guard only the 2 GB the entries
// can address bound the read. bytesRead, when given, views the file's bytes on success,
// held by the list.
bool ReadEntries(const std::string& path, Entries& list, Vehicle& vehicle,
                 const NumberFormat& format, MessageSink& sink, ReadGuard* guard = nullptr,
                 std::string_view* bytesRead = nullptr);

// Takes the layout a chunk at a time; a result other than 0 (an error number) stops
// the writing and is passed back.
using ChunkSink = std::function<int(std::string_view chunk)>;

// The most bytes one chunk holds: the memory writing needs, whatever the file's size.
// Each chunk costs a system call of some microseconds; a list smaller than this gets
// a chunk about its size, not less than 64 KB.
inline constexpr std::size_t kWriteChunk = 256 << 10;

// Hands the host's layout (tab indentation, " ( " and " ) ", CR LF after every line)
// to sink in chunks of at most kWriteChunk bytes. 0, or the sink's first error.
int StreamEntries(const Entries& list, const ChunkSink& sink);

// The whole layout as one text (for small lists: tests, comparisons).
std::string FormatEntries(const Entries& list);

// Writes the list to path in place (no backup, no temporary), cutting an existing
// file. True on success; never throws.
bool WriteEntries(const std::string& path, const Entries& list);

// The number of bytes FormatEntries gives for the list, counted without building them.
std::uint64_t FormattedSize(const Entries& list);

}  // namespace quorvel
