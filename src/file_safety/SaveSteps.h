#pragma once

// The steps of a save that every platform shares; SafeSave_posix.cpp and
// SafeSave_win32.cpp put them together with the platform's file calls.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "SafeSave.h"

namespace quorvel::save {

// The platform's text for an error code (errno or GetLastError).
std::string Describe(int code);

SaveResult Failed(SaveStep step, int code, const std::string& path) noexcept;

// Takes the bytes of the new file piece by piece; a non-zero result (an error code)
// ends the writing.
using Writer = std::function<int(std::string_view)>;

// The one place where the entries become the temporary file's bytes.
int WriteContent(const Entries& list, const Writer& write);

// TooLarge, after telling the user through sink when there is one, when the entries
// would make a file beyond the bound for a file loaded with loadedSize bytes.
std::optional<SaveResult> RefuseTooLarge(const std::string& path, const Entries& list,
                                         std::uint64_t loadedSize, MessageSink* sink);

// What a save writes: the bytes, handed to a Writer; what refuses them before anything is
// written (given the loaded file's size); whether the first version is kept as backup and
// whether a file changed since the load is asked about. A file that is missing is made
// only without a backup.
struct Content {
    std::function<int(const Writer&)> write;
    std::function<std::optional<SaveResult>(std::uint64_t loadedSize)> refuse;
    bool backup = true;
};

// How the path differs from the file that was loaded.
//   Edited:   the same file, with other content
//   Replaced: another file stands at the path
//   Linked:   the path is now a symbolic link to another file (linkTarget: its text)
//   Gone:     nothing stands at the path any more
enum class Change { Edited, Replaced, Linked, Gone };

// Asks whether to save all the same; the question names what happened.
bool AskOverwrite(MessageSink& sink, const std::string& path, Change change,
                  const std::string& linkTarget);

// The German refusal of a path that names no regular file; empty for a regular one.
// kind is the type bits of the file (POSIX st_mode) or, on Windows, its GetFileType.
std::string NotRegularText(const std::string& path, unsigned kind);

SaveResult Declined(const std::string& path);

// The lost-update check. now: the file as the path names it now, without its hash;
// readAll hands its content to a Writer, read only when its metadata still matches the
// loaded one. When it changed, was replaced, or the path became a link to another file
// after the load, the user is asked. Returns what ends the save (Declined, or a failed
// read), else nothing; replaceLink tells whether the link itself is to be replaced (it
// is never written through), foreign whether the path names a file other than the
// loaded one (no backup is made of that).
std::optional<SaveResult> ConfirmLoadedFile(FileIdentity now, const FileIdentity& expected,
                                            const std::function<int(const Writer&)>& readAll,
                                            MessageSink& sink, const std::string& path,
                                            const std::string& linkTarget, bool& replaceLink,
                                            bool& foreign);

// A save writes into the file's one slot, ".<file>.qvtmp", taking over a slot that a
// killed save left. Only while another save holds the slot does it use a random name,
// ".<file>.<16 hex digits>.qvtmp", that no other save can guess or reuse, and leave
// ".<file>.qvsweep" behind: a save that finds it looks through the folder for random
// leftovers, so a normal save never reads the folder.
std::string SlotName(std::string_view fileName);
std::string SweepMarkName(std::string_view fileName);
std::string TempName(std::string_view fileName);
bool IsTempName(std::string_view entry, std::string_view fileName);

// The platform's save; sink is null when nothing may be asked or told.
SaveResult Save(const std::string& path, const Content& content, LoadedFile& loaded,
                MessageSink* sink, SaveStep& stage);

}  // namespace quorvel::save
