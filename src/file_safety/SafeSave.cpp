#include "SafeSave.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <random>

#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "SaveSteps.h"
#include "SizeLimits.h"

#ifdef _WIN32
#include <windows.h>
#endif

// How a save stays safe:
// - The file is never rewritten in place. The new content goes into a temporary file
//   in the file's own folder, is flushed to disk, and then atomically takes the file's
//   place, so a crash leaves either the old or the new content, never a mix.
// - The backup is made the same way: a flushed temporary copy that is given the name
//   "<file>_Orig" only if that name is still free, so an existing backup is never
//   replaced, not even by a race.
// - Temporary files are created exclusively and stay locked by the save that made
//   them. A save that is killed leaves one behind; a later save removes it once it can
//   take its lock, which only a dead save has let go. Each file has one fixed slot
//   name, so finding a leftover there costs no look through the folder; a random name
//   is used only while another save holds the slot, and then a mark tells later saves
//   to look for random leftovers.
// - Before anything is written, the file must still be the one loaded (same file,
//   same content); else the user decides.

namespace quorvel {

namespace {

#ifdef _WIN32
constexpr int kOutOfMemory = ERROR_NOT_ENOUGH_MEMORY;
constexpr int kUnexpected = ERROR_GEN_FAILURE;
constexpr int kInvalidPath = ERROR_INVALID_NAME;
#else
constexpr int kOutOfMemory = ENOMEM;
constexpr int kUnexpected = EIO;
constexpr int kInvalidPath = EINVAL;
#endif

constexpr std::string_view kTempEnd = ".qvtmp";
constexpr std::size_t kRandomDigits = 16;

// The tabs the layout puts in front of the lines: the nesting's share of the size.
std::uint64_t Indentation(const Entries& list) {
    std::uint64_t tabs = 0, depth = 0;
    for (const C_Name_Val& entry : list) {
        if (entry.Typ == typ::GroupClose && depth > 0) --depth;
        if (entry.Typ == typ::GroupOpen)
            tabs += depth++;
        else if (entry.Typ > 0 || entry.Typ == typ::GroupClose || !entry.Name.empty())
            tabs += depth;
    }
    return tabs;
}

SaveResult Run(const std::string& path, const save::Content& content, LoadedFile& loaded,
               MessageSink* sink) noexcept {
    SaveStep stage = SaveStep::Write;
    // The system would see only the text before a NUL: another file, and the backup's
    // name could even cut back to the file's own.
    if (path.find('\0') != std::string::npos)
        return save::Failed(SaveStep::CheckFile, kInvalidPath, path);
    try {
        return save::Save(path, content, loaded, sink, stage);
    } catch (const std::bad_alloc&) {
        return save::Failed(stage, kOutOfMemory, path);
    } catch (...) {
        return save::Failed(stage, kUnexpected, path);
    }
}

SaveResult RunEntries(const std::string& path, const Entries& list, LoadedFile& loaded,
                      MessageSink* sink) noexcept {
    try {
        save::Content content;
        content.write = [&list](const save::Writer& write) {
            return save::WriteContent(list, write);
        };
        content.refuse = [&](std::uint64_t loadedSize) {
            return save::RefuseTooLarge(path, list, loadedSize, sink);
        };
        return Run(path, content, loaded, sink);
    } catch (...) {
        return save::Failed(SaveStep::Write, kOutOfMemory, path);
    }
}

}  // namespace

namespace save {

SaveResult Failed(SaveStep step, int code, const std::string& path) noexcept {
    SaveResult result;
    result.step = step;
    result.errorCode = code;
    try {
        result.path = path;
        result.description = Describe(code);
    } catch (...) {
        // Out of memory while reporting: the step and the code still tell what failed.
    }
    return result;
}

int WriteContent(const Entries& list, const Writer& write) {
    return StreamEntries(list, write);
}

std::optional<SaveResult> RefuseTooLarge(const std::string& path, const Entries& list,
                                         std::uint64_t loadedSize, MessageSink* sink) {
    const std::uint64_t output = FormattedSize(list);
    if (!SaveTooLarge(output, loadedSize)) return std::nullopt;
    SaveResult result;
    result.step = SaveStep::TooLarge;
    result.path = path;
    result.description = SaveTooLargeText(path, output, loadedSize, Indentation(list));
    if (sink) sink->ShowMessage(kAppTitle, result.description, MessageIcon::Exclamation);
    result.told = sink != nullptr;
    return result;
}

bool AskOverwrite(MessageSink& sink, const std::string& path, Change change,
                  const std::string& linkTarget) {
    std::string text = "Die Datei " + path;
    switch (change) {
        case Change::Linked:
            text += " ist jetzt ein Verweis auf " + linkTarget +
                    ", nicht mehr die geladene Datei.\r\nBeim Speichern wird der Verweis durch "
                    "die Datei ersetzt; sein Ziel bleibt unver\xC3\xA4ndert.";
            break;
        case Change::Replaced:
            text +=
                " wurde seit dem Laden durch eine andere Datei ersetzt.\r\nSpeichern "
                "\xC3\xBC"
                "berschreibt diese andere Datei.";
            break;
        case Change::Gone:
            text +=
                " wurde seit dem Laden gel\xC3\xB6scht oder verschoben.\r\nSpeichern legt "
                "sie neu an.";
            break;
        case Change::Edited:
            text +=
                " wurde seit dem Laden von einem anderen Programm ge\xC3\xA4ndert.\r\n"
                "Speichern \xC3\xBC"
                "berschreibt diese \xC3\x84nderungen.";
            break;
    }
    return sink.AskYesNo(kAppTitle, text + "\r\n\r\nTrotzdem speichern?");
}

std::string NotRegularText(const std::string& path, unsigned kind) {
    const std::string_view what = SpecialFileKind(kind);
    if (what.empty()) return {};
    return "Die Datei " + path + " wurde nicht gespeichert: Der Pfad ist " + std::string(what) +
           ", keine gew\xC3\xB6hnliche Datei.";
}

SaveResult Declined(const std::string& path) {
    SaveResult result;
    result.step = SaveStep::Declined;
    result.path = path;
    result.told = true;
    return result;
}

// Names are built by appending: "." + text makes an optimised GCC 12 warn falsely
// (-Wrestrict).
std::optional<SaveResult> ConfirmLoadedFile(FileIdentity now, const FileIdentity& expected,
                                            const std::function<int(const Writer&)>& readAll,
                                            MessageSink& sink, const std::string& path,
                                            const std::string& linkTarget, bool& replaceLink,
                                            bool& foreign) {
    replaceLink = false;
    const bool sameFile = now.device == expected.device && now.file == expected.file;
    foreign = !sameFile;
    // A link is never written through to a file that was not loaded.
    if (now.viaLink && (!expected.viaLink || !sameFile)) {
        if (!AskOverwrite(sink, path, Change::Linked, linkTarget)) return Declined(path);
        replaceLink = true;
        return std::nullopt;
    }
    if (!sameFile) {
        if (!AskOverwrite(sink, path, Change::Replaced, linkTarget)) return Declined(path);
        return std::nullopt;
    }
    if (now.size == expected.size && now.modified == expected.modified) {
        now.hash = kHashStart;
        const int err = readAll([&](std::string_view piece) {
            now.hash = ContentHash(piece, now.hash);
            return 0;
        });
        if (err != 0) return Failed(SaveStep::CheckFile, err, path);
    }
    if (!now.SameFile(expected) && !AskOverwrite(sink, path, Change::Edited, linkTarget))
        return Declined(path);
    return std::nullopt;
}

std::string HiddenName(std::string_view fileName, std::string_view end) {
    std::string name(".");
    return name.append(fileName).append(end);
}

std::string SlotName(std::string_view fileName) {
    return HiddenName(fileName, kTempEnd);
}

std::string SweepMarkName(std::string_view fileName) {
    return HiddenName(fileName, ".qvsweep");
}

std::string TempName(std::string_view fileName) {
    std::random_device random;
    std::uint64_t bits = (std::uint64_t{random()} << 32) ^ random();
    std::string name = HiddenName(fileName, ".");
    for (std::size_t i = 0; i < kRandomDigits; ++i, bits >>= 4)
        name += "0123456789abcdef"[bits & 15];
    return name += kTempEnd;
}

bool IsTempName(std::string_view entry, std::string_view fileName) {
    if (entry.size() != 1 + fileName.size() + 1 + kRandomDigits + kTempEnd.size() ||
        entry[0] != '.' || entry.substr(1, fileName.size()) != fileName ||
        entry[1 + fileName.size()] != '.' || !entry.ends_with(kTempEnd))
        return false;
    const std::string_view digits = entry.substr(2 + fileName.size(), kRandomDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace save

SaveResult SaveEntries(const std::string& path, const Entries& list, LoadedFile& loaded,
                       MessageSink& sink) noexcept {
    return RunEntries(path, list, loaded, &sink);
}

SaveResult SaveEntries(const std::string& path, const Entries& list) noexcept {
    LoadedFile unknown;
    return RunEntries(path, list, unknown, nullptr);
}

SaveResult SaveText(const std::string& path, std::string_view bytes) noexcept {
    try {
        save::Content content;
        content.write = [bytes](const save::Writer& write) { return write(bytes); };
        content.backup = false;
        LoadedFile unknown;
        return Run(path, content, unknown, nullptr);
    } catch (...) {
        return save::Failed(SaveStep::Write, kOutOfMemory, path);
    }
}

std::optional<std::string> TooLargeText(const std::string& path, const Entries& list,
                                        std::uint64_t output, std::uint64_t loadedSize) {
    if (!SaveTooLarge(output, loadedSize)) return std::nullopt;
    return SaveTooLargeText(path, output, loadedSize, Indentation(list));
}

std::string RestoreSource(const std::string& path) {
    std::string backup = path + std::string(kBackupSuffix);
    return FileExists(backup) ? backup : path;
}

}  // namespace quorvel
