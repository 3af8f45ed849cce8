// Round trip on arbitrary bytes: reading, writing and reading again keeps the
// entries (but for the two cases the layout cannot carry), and the written bytes
// are stable from then on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Mod_Quorvel.h"

namespace {

struct EnglishFormat : quorvel::NumberFormat {
    std::string DecimalSeparator() const override { return "."; }
    std::string GroupSeparator() const override { return ","; }
};

// What one more read gives back: a group opening without a name survives only
// after a value line, and a group closing loses its name.
quorvel::Entries Expected(const quorvel::Entries& read) {
    quorvel::Entries out;
    for (std::size_t i = 0; i < read.size(); ++i) {
        quorvel::C_Name_Val e = read[i];
        if (e.Typ == quorvel::typ::GroupOpen && e.Name.empty() &&
            (i == 0 || read[i - 1].Typ <= 0))
            continue;
        if (e.Typ == quorvel::typ::GroupClose) e.Name.clear();
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
