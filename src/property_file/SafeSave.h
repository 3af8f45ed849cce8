#pragma once

#include <string>
#include <string_view>

#include "C_Name_Val.h"

namespace quorvel {

// The step of a save that failed.
//   CheckFile: the file is missing, not a plain file, or the user may not write it.
//   Backup:    the one-time "<path>_Orig" copy could not be made (or made durable).
//   Write:     the new content could not be written into a temporary file.
//   Replace:   the temporary file could not take the file's place, or the folder
//              could not be flushed afterwards (the file may then already be new).
enum class SaveStep { None, CheckFile, Backup, Write, Replace };

struct SaveResult {
    SaveStep step = SaveStep::None;  // None: the save went through
    int errorCode = 0;               // errno (POSIX) or GetLastError (Windows)
    std::string description;         // the system's text for errorCode
    std::string path;                // the file or folder the failed step worked on
    bool ok() const { return step == SaveStep::None; }
};

// Appended to the file's full path to name its backup.
inline constexpr std::string_view kBackupSuffix = "_Orig";

// Keeps a one-time "<path>_Orig" backup of the file as it was, then replaces the
// file with the entries. The file is never missing or half written: the new
// content goes into a temporary file that atomically takes the file's place. On
// failure the file keeps its old bytes and no temporary file is left behind.
// A file reached through a symbolic link stays a link; its target is replaced.
SaveResult SaveEntries(const std::string& path, const Entries& list) noexcept;

// The file "Original" loads: the backup when there is one, else the file itself.
std::string RestoreSource(const std::string& path);

}  // namespace quorvel
