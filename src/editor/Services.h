#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform.h"

namespace quorvel {

// The open-file dialog, owned by the window and modal to it.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // filter: pairs of description and pattern, each part ended by a NUL character.
    // Returns the chosen file's full path, or empty text on cancel.
    virtual std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                                       const std::optional<std::string>& initialFolder) = 0;
};

// Where the host keeps its rolling-stock files: "Resourcen\Rollmaterial" below its
// registered installation folder, or empty text when the host is not registered.
class HostLookup {
public:
    virtual ~HostLookup() = default;
    virtual std::string RollingStockFolder() = 0;
};

// The platform as the commands see it.
struct Services {
    NumberFormat& format;
    MessageSink& messages;
    FileDialog& dialog;
    HostLookup& host;
};

}  // namespace quorvel
