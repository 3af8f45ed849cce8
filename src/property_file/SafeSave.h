#pragma once

#include <string>

#include "C_Name_Val.h"

namespace quorvel {

// The step of a save that failed.
enum class SaveStep { None, CheckFile, Backup, Write, Replace };

struct SaveResult {
    SaveStep step = SaveStep::None;  // None: the save went through
    int errorCode = 0;                // errno (POSIX) or GetLastError (Windows)
    std::string description;          // the system's text for errorCode
    bool ok() const { return step == SaveStep::None; }
};

// Keeps a one-time "<path>_Orig" backup of the file as it was, then replaces the
// file with the entries. On failure the file keeps its old bytes.
SaveResult SaveEntries(const std::string& path, const Entries& list);

// The file "Original" loads: the backup when there is one, else the file itself.
std::string RestoreSource(const std::string& path);

}  // namespace quorvel
