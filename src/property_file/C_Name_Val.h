#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

// Kinds of entry a property file holds.
namespace typ {
inline constexpr std::int16_t GroupOpen = -1;
inline constexpr std::int16_t GroupClose = -2;
inline constexpr std::int16_t BareName = 0;
inline constexpr std::int16_t Text = 1;
inline constexpr std::int16_t Number = 2;
}  // namespace typ

// One value, group opening or group closing of a property file.
struct C_Name_Val {
    std::string Name;
    std::string Value;
    std::int16_t Typ = typ::BareName;

    friend bool operator==(const C_Name_Val&, const C_Name_Val&) = default;
};

// The loaded file in file order; only appended to and walked front to back.
using Entries = std::vector<C_Name_Val>;

// What reading learns about the vehicle: owned by the caller, filled by ReadEntries.
struct Vehicle {
    bool HasMotor = false;        // only ever set to true by reading
    std::int32_t GearCount = 0;   // restarted at 0 by each read
};

}  // namespace quorvel
