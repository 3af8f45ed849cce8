// Arbitrary bytes: reading and writing give what the old reader and writer gave;
// reading, writing and reading again keeps the entries (but for the two cases the
// layout cannot carry), and the written bytes are stable from then on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Mod_Quorvel.h"
#include "OldQuorvel.h"

namespace {

struct EnglishFormat : quorvel::NumberFormat {
    std::string DecimalSeparator() const override { return "."; }
    std::string GroupSeparator() const override { return ","; }
};
struct GermanFormat : quorvel::NumberFormat {
    std::string DecimalSeparator() const override { return ","; }
    std::string GroupSeparator() const override { return "."; }
};

// What one more read gives back: a group opening without a name survives only
// after a value line, and a group closing loses its name.
quorvel::Entries Expected(const quorvel::Entries& read) {
    quorvel::Entries out;
    for (std::size_t i = 0; i < read.size(); ++i) {
        quorvel::C_Name_Val e = read[i];  // views into read, copied by push_back
        if (e.Typ == quorvel::typ::GroupOpen && e.Name.empty() && (i == 0 || read[i - 1].Typ <= 0))
            continue;
        if (e.Typ == quorvel::typ::GroupClose) e.Name = {};
        out.push_back(e);
    }
    return out;
}

// Deep nesting makes the tab indentation grow with the square of the depth; such
// inputs are skipped beyond this output size so the run stays fast.
constexpr std::size_t kMaxWritten = 8u << 20;

std::size_t WrittenSize(const quorvel::Entries& list) {
    std::size_t size = 0;
    std::size_t depth = 0;
    for (const auto& e : list) {
        if (e.Typ == quorvel::typ::GroupClose && depth > 0) --depth;
        if (e.Typ == quorvel::typ::GroupOpen) ++depth;
        size += depth + e.Name.size() + e.Value.size() + 8;
    }
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const EnglishFormat format;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    quorvel::Entries first;
    quorvel::Vehicle vehicle;
    quorvel::ParseEntries(input, first, vehicle, format);
    if (WrittenSize(first) > kMaxWritten) return 0;

    const std::string written = quorvel::FormatEntries(first);
    const GermanFormat german;
    quorvel::Entries read = first;
    for (const quorvel::NumberFormat* in : {static_cast<const quorvel::NumberFormat*>(&format),
                                            static_cast<const quorvel::NumberFormat*>(&german)}) {
        if (in == &german) {
            read.clear();
            quorvel::ParseEntries(input, read, vehicle, german);
        }
        quorvel::oracle::OldEntries old;
        quorvel::Vehicle oldVehicle;
        quorvel::oracle::ParseEntries(input, old, oldVehicle, *in);
        if (quorvel::oracle::ToOld(read) != old || vehicle.HasMotor != oldVehicle.HasMotor ||
            vehicle.GearCount != oldVehicle.GearCount ||
            quorvel::FormatEntries(read) != quorvel::oracle::FormatEntries(old))
            std::abort();
    }

    quorvel::Entries second;
    quorvel::Vehicle again;
    quorvel::ParseEntries(written, second, again, format);
    if (second != Expected(first)) std::abort();

    const std::string rewritten = quorvel::FormatEntries(second);
    quorvel::Entries third;
    quorvel::ParseEntries(rewritten, third, again, format);
    if (third != second || quorvel::FormatEntries(third) != rewritten) std::abort();
    return 0;
}
