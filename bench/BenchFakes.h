// What the benchmarks and the save race hand the libraries in place of a platform: the
// German number format, and no file dialog and no host installation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Commands.h"

namespace quorvel::bench {

struct GermanFormat : NumberFormat {
    std::string DecimalSeparator() const override { return ","; }
    std::string GroupSeparator() const override { return "."; }
};
struct NoDialog : FileDialog {
    std::string ShowOpenDialog(const std::string&, std::uint32_t,
                               const std::optional<std::string>&) override {
        return {};
    }
};
struct NoHost : HostLookup {
    std::string RollingStockFolder() override { return {}; }
};

}  // namespace quorvel::bench
