#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "C_Name_Val.h"
#include "FileIdentity.h"
#include "Platform.h"

namespace quorvel {

// The step of a save that failed.
//   CheckFile: the file is missing, not a plain file, or the user may not write it.
//   Backup:    the one-time "<path>_Orig" copy could not be made (or made durable).
//   Write:     the new content could not be written into a temporary file.
//   Replace:   the temporary file could not take the file's place, or the folder
//              could not be flushed afterwards (the file may then already be new).
//   Declined:  the file was changed or replaced since it was loaded, and the user
//              chose not to overwrite it.
//   TooLarge:  the output would exceed its bound; the user was told why.
// Nothing is written at CheckFile, Declined and TooLarge.
enum class SaveStep { None, CheckFile, Backup, Write, Replace, Declined, TooLarge };

struct SaveResult {
    SaveStep step = SaveStep::None;  // None: the save went through
    int errorCode = 0;               // errno (POSIX) or GetLastError (Windows)
    std::string description;         // the system's text for errorCode
    std::string path;                // the file or folder the failed step worked on
    bool told = false;               // the user was asked or told already
    bool ok() const { return step == SaveStep::None; }
};

// Appended to the file's full path to name its backup.
inline constexpr std::string_view kBackupSuffix = "_Orig";

// Keeps a one-time "<path>_Orig" backup of the file as it was, then replaces the
// file with the entries. The file is never missing or half written: the new
// content goes into a temporary file that atomically takes the file's place. On
// failure the file keeps its old bytes and no temporary file is left behind.
// A file reached through a symbolic link stays a link; its target is replaced.
// The new file and the backup keep the file's owner, group, permission bits (less
// set-user-ID, set-group-ID and sticky), ACL and extended attributes where allowed.
//
// When the path no longer names the loaded file as it was (another program changed or
// replaced it, or it is now a symbolic link to another file), the user is asked through
// the sink first, naming what happened, and Nein writes nothing. A link is then replaced
// itself, never written through, and no backup is made of a file that was not loaded.
// Saves of one file by this program take turns for their last check and the replace, so
// that none of them overwrites another's without asking. A path that names no regular
// file (a pipe, a device) is refused, told through the sink, without waiting on it. An
// output beyond its bound (see SizeLimits.h) is refused with a message. loaded learns the
// saved file, so the next save compares with that.
SaveResult SaveEntries(const std::string& path, const Entries& list, LoadedFile& loaded,
                       MessageSink& sink) noexcept;

// The same without a loaded file to compare with and without a sink: nothing is asked,
// an output beyond its bound is refused (TooLarge) with the text as description.
SaveResult SaveEntries(const std::string& path, const Entries& list) noexcept;

// Replaces the file at path (or makes it) with bytes as safely as a save does: a
// temporary that atomically takes its place, owner and permissions kept, nothing lost on
// failure. No backup, no question: for files the program writes whole, such as exports.
SaveResult SaveText(const std::string& path, std::string_view bytes) noexcept;

// The refusal of a save whose entries would make output bytes (see SizeLimits.h), for a
// file loaded with loadedSize bytes; nothing when the output fits.
std::optional<std::string> TooLargeText(const std::string& path, const Entries& list,
                                        std::uint64_t output, std::uint64_t loadedSize);

// The file "Original" loads: the backup when there is one, else the file itself.
std::string RestoreSource(const std::string& path);

}  // namespace quorvel
