// The reader and writer against the old ones they replace: the same entries, the
// same vehicle and the same bytes, on the sample files and on random input.
#include "OldQuorvel.h"
#include "test_support.h"

namespace quorvel {
namespace {

using oracle::OldEntries;

// Short runs of the bytes that matter most, so delimiters, blanks, numbers and
// ignored bytes meet in every order; now and then a long run, across the scan's
// 16-byte steps.
std::string RandomBytes(std::minstd_rand& random) {
    // clang-format off
    static const std::string pieces[] = {"(", ")", "{", "}", " ", "\r\n", "\t", "Motor", "Gang",
        "Masse", "1", "-4.5", "1,5", "1.000,5", "1e3", "x", "\xE4", "\x7F", std::string(1, '\0'),
        ".", ",", "+", "e"};
    // clang-format on
    std::string bytes;
    const std::size_t count = random() % 200;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& piece = pieces[random() % std::size(pieces)];
        bytes.append(random() % 400 == 0 ? std::string(random() % 5000, piece[0]) : piece);
    }
    return bytes;
}

std::vector<std::string> Samples() {
    std::vector<std::string> files;
    std::string dirs = QUORVEL_SAMPLES;
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find('|', at), dirs.size());
        std::error_code error;  // a folder the platform cannot reach is left out
        for (const auto& entry : fs::directory_iterator(dirs.substr(at, end - at), error))
            files.push_back(Get(Utf8(entry.path())));
        at = end + 1;
    }
    return files;
}

// The layout as the writer hands it on, every chunk within its bound.
std::string Streamed(const Entries& list) {
    std::string out;
    EXPECT_EQ(StreamEntries(list,
                            [&out](std::string_view chunk) {
                                out.append(chunk);
                                return chunk.size() <= kWriteChunk && !chunk.empty() ? 0 : 1;
                            }),
              0);
    return out;
}

// Parses with both, compares, then writes both and compares the bytes.
void ExpectSame(const std::string& bytes, const NumberFormat& format) {
    Entries list;
    OldEntries old;
    Vehicle vehicle{false, 9}, oldVehicle{false, 9};
    ParseEntries(bytes, list, vehicle, format);
    oracle::ParseEntries(bytes, old, oldVehicle, format);
    ASSERT_TRUE(oracle::ToOld(list) == old && vehicle.HasMotor == oldVehicle.HasMotor &&
                vehicle.GearCount == oldVehicle.GearCount)
        << testing::PrintToString(bytes);
    const std::string written = oracle::FormatEntries(old);
    ASSERT_TRUE(FormatEntries(list) == written && Streamed(list) == written);
    ParseEntries(bytes, list, vehicle, format);  // appended: copied, as the list has bytes
    oracle::ParseEntries(bytes, old, oldVehicle, format);
    ASSERT_TRUE(oracle::ToOld(list) == old);
}

TEST(Oracle, ReadsAndWritesAsBefore) {
    const FakeFormat formats[] = {
        kGerman, kEnglish, {"\xC2\xB7", "\xC2\xA0"}, {".", "."}, {"", ""}};
    std::minstd_rand random(12);
    std::vector<std::string> inputs = Samples();
    EXPECT_GE(inputs.size(), 7u);  // the fuzz corpus and the examples
    for (int i = 0; i < 1500; ++i) inputs.push_back(RandomBytes(random));
    for (const std::string& bytes : inputs)
        for (const FakeFormat& format : formats) ExpectSame(bytes, format);
}

// Lists that reading never gives (any Typ, texts with line breaks) are written as
// before, also where texts and tabs run across the writer's chunks; changed values
// and copies keep the texts.
TEST(Oracle, WritesAnyListAsBefore) {
    std::minstd_rand random(7);
    const std::string texts[] = {"", "A", " b ", "\r\n", std::string(70000, 'v'), "(x)"};
    const std::int16_t kinds[] = {-2, -1, 0, 1, 2, 3, -3, 32767};
    for (int round = 0; round < 100; ++round) {
        OldEntries old;
        const bool deep = round % 50 == 0;  // 1500 levels: 1 MB of tabs
        const bool many = round % 50 == 1;  // 30,000 short lines in shallow groups: chunks full
        const std::size_t count = random() % 40 + (deep ? 1500 : 0) + (many ? 30000 : 0);
        for (std::size_t i = 0; i < count; ++i) {
            const std::int16_t shallow = i % 5 == 0   ? typ::GroupOpen
                                         : i % 5 == 4 ? typ::GroupClose
                                                      : 2;
            old.push_back({texts[random() % (many ? 4 : 6)], texts[random() % (many ? 4 : 6)],
                           deep && i < 1500 ? typ::GroupOpen
                           : many           ? shallow
                                            : kinds[random() % 8]});
        }
        Entries list = oracle::FromOld(old), copy = list;
        const std::string written = oracle::FormatEntries(old);
        ASSERT_TRUE(FormatEntries(list) == written && Streamed(list) == written);
        for (std::size_t i = 0; i < count; i += 3) {
            old[i].Value = texts[random() % 6] + "!";
            list.SetValue(i, old[i].Value);
            list.push_back(list[i]);  // texts the list holds itself
            old.push_back(old[i]);
        }
        EXPECT_TRUE(oracle::ToOld(list) == old && copy == oracle::FromOld(oracle::ToOld(copy)));
        // A failing sink stops the writing at once and its error comes back.
        int calls = 0;
        const int error = StreamEntries(list, [&calls](std::string_view) { return ++calls + 4; });
        EXPECT_TRUE(calls <= 1 && error == (calls == 0 ? 0 : 5));
    }
}

}  // namespace
}  // namespace quorvel
