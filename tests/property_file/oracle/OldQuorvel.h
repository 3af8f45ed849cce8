#pragma once

// The reader and writer as they behaved before entries became views into the loaded
// bytes, written plainly: one heap string per name and value. The oracle the new code
// must match byte for byte, and the "before" side of the benchmarks.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "C_Name_Val.h"
#include "Platform.h"

namespace quorvel::oracle {

struct OldEntry {
    std::string Name;
    std::string Value;
    std::int16_t Typ = typ::BareName;
    friend bool operator==(const OldEntry&, const OldEntry&) = default;
};
using OldEntries = std::vector<OldEntry>;

void ParseEntries(std::string_view bytes, OldEntries& list, Vehicle& vehicle,
                  const NumberFormat& format);
std::string FormatEntries(const OldEntries& list);

// The same entries in both forms, for comparing results.
OldEntries ToOld(const Entries& list);
Entries FromOld(const OldEntries& list);

}  // namespace quorvel::oracle
