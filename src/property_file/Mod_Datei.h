#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Platform.h"

namespace quorvel {

// Paths are UTF-8 text; this turns one into a filesystem path without going
// through the ANSI code page on Windows (where text that is not UTF-8 throws).
std::filesystem::path PathFromText(const std::string& text);

// A failed file operation as the system reports it: errno on POSIX, GetLastError
// on Windows, with the system's own description.
struct SystemError {
    std::int64_t number = 0;
    std::string description;
};

// The system's report for the last failed file operation of this thread.
SystemError LastSystemError();

// Tells the user about a failed file operation: what + path, then "Nummer: " and
// "Fehler: " lines, with the critical icon.
void ShowFileError(MessageSink& sink, std::string_view what, const std::string& path,
                   const SystemError& error);

// An open file; closed when the value goes away.
class DataFile {
  public:
    explicit DataFile(std::FILE* file) : file_(file) {}
    std::FILE* get() const { return file_.get(); }
    // The whole remaining content in one go; nullopt on a read error, which
    // LastError() then describes.
    std::optional<std::string> ReadAll();
    const SystemError& LastError() const { return error_; }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    SystemError error_;
};

// The open file's size as the system tells it; 0 when it cannot or the file is empty.
// Only a hint: the file may change before it is read.
std::size_t OpenFileSize(std::FILE* file);

// Reads size bytes at the file's position unless it ends first; failed tells a read
// error. Fewer bytes without failure mean the end was reached.
std::size_t ReadBytes(std::FILE* file, char* to, std::size_t size, bool& failed);

// Opens by mode "r", "w" or "rw" (exactly; any other text opens nothing and says
// nothing), always in binary. "w" creates a missing file and keeps an existing one's
// bytes. Only a regular file is opened, without waiting on a pipe or device put at the
// path. A missing file ("r", "rw"), one that is no regular file, or a failed open is told
// to the user through the sink by its cause, and gives nullopt.
std::optional<DataFile> OpenDataFile(const std::string& path, MessageSink& sink,
                                     std::string_view mode = "r");

// What a path names that is no regular file, in German words ("eine benannte Pipe
// (FIFO)", a device, a socket, a folder); empty for a regular file. kind: the file's type bits
// (POSIX st_mode) or, on Windows, its GetFileType.
std::string_view SpecialFileKind(unsigned kind);

// Opens the regular file at path for reading, never waiting on a pipe or device put
// there; nullptr with error set (kind: what stands there instead, see SpecialFileKind,
// 0 when the open itself failed).
std::FILE* OpenRegularForReading(const std::string& path, SystemError& error, unsigned& kind);

// True for a regular file (hidden, read-only and the like included); false for a
// folder and for any path that cannot be looked up. Never throws.
bool FileExists(const std::string& path);

// The path before its last backslash or colon (on POSIX also slash); empty when none.
std::string GetFolder(std::string_view path);

// folder, backslash, name, then "." and the extension when that has two or more
// characters.
std::string BuildPath(std::string_view folder, std::string_view name,
                      std::string_view extension = {});

// first + separator + second, without doubling a separator already at the seam.
std::string JoinWithSeparator(std::string_view first, std::string_view second,
                              std::string_view separator);

}  // namespace quorvel
