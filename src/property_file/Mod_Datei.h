#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform.h"

namespace quorvel {

// Paths are UTF-8 text; this turns one into a filesystem path without going
// through the ANSI code page on Windows.
std::filesystem::path PathFromText(const std::string& text);

// An open file; closed when the value goes away.
class DataFile {
public:
    explicit DataFile(std::FILE* file) : file_(file) {}
    std::FILE* get() const { return file_.get(); }
    // The whole remaining content in one go; nullopt on a read error.
    std::optional<std::string> ReadAll();

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

// Opens by mode "r", "w" or "rw". A missing file ("r", "rw") or a failed open is
// told to the user through the sink, and gives nullopt.
std::optional<DataFile> OpenDataFile(const std::string& path, MessageSink& sink,
                                     std::string_view mode = "r");

bool FileExists(const std::string& path);
std::string GetFolder(std::string_view path);
std::string BuildPath(std::string_view folder, std::string_view name,
                      std::string_view extension = {});
std::string JoinWithSeparator(std::string_view first, std::string_view second,
                              std::string_view separator);

}  // namespace quorvel
