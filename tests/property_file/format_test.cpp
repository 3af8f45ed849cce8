#include <gtest/gtest.h>

#include "Mod_Quorvel.h"

namespace quorvel {
namespace {

struct EnglishFormat : NumberFormat {
    std::string DecimalSeparator() const override { return "."; }
    std::string GroupSeparator() const override { return ","; }
};

// The seven entries of the layout example and their exact bytes.
TEST(Format, ExampleLayoutRoundTrips) {
    const Entries entries = {
        {"Masse", "80", typ::Number},          {"Motor", "", typ::GroupOpen},
        {"Leistung", "1000", typ::Number},     {"Gang", "", typ::GroupOpen},
        {"Uebersetzung", "-4.5", typ::Number}, {"", "", typ::GroupClose},
        {"", "", typ::GroupClose},
    };
    const std::string bytes =
        "Masse ( 80 ) \r\nMotor{\r\n\tLeistung ( 1000 ) \r\n\tGang{\r\n"
        "\t\tUebersetzung ( -4.5 ) \r\n\t}\r\n}\r\n";
    EXPECT_EQ(FormatEntries(entries), bytes);

    Entries read;
    Vehicle vehicle;
    ParseEntries(bytes, read, vehicle, EnglishFormat{});
    EXPECT_EQ(read, entries);
    EXPECT_TRUE(vehicle.HasMotor);
    EXPECT_EQ(vehicle.GearCount, 1);
}

}  // namespace
}  // namespace quorvel
