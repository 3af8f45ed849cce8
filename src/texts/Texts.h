#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The program's German messages in one place: message boxes and questions, load notices,
// refusals, the causes of failed file operations, the gear chart's lines, headers and
// window texts. Every wording lives in Texts.cpp, so a change of wording touches that one
// file. Fixed texts are constants; texts around a path, a number or a field name are
// functions that assemble them. The main window's control captions, tooltips and
// accessible names are not here: they stay in src/form/ControlTable.cpp, the one
// description of the window.
namespace quorvel::texts {

// ---- Causes of a failed file operation, shown after "Fehler:" ---------------------------
// The German text for a system error code (POSIX; Windows' own texts are already in the
// user's language). ErrorText chooses among them.

extern const std::string_view kCauseAccessDenied;  // EACCES
extern const std::string_view kCauseNotPermitted;  // EPERM
extern const std::string_view kCauseNotFound;      // ENOENT
extern const std::string_view kCauseNotAFolder;    // ENOTDIR
extern const std::string_view kCauseIsAFolder;     // EISDIR
extern const std::string_view kCauseReadOnly;      // EROFS
extern const std::string_view kCauseDiskFull;      // ENOSPC
extern const std::string_view kCauseQuota;         // EDQUOT
extern const std::string_view kCauseInputOutput;   // EIO
extern const std::string_view kCauseFileTooLarge;  // EFBIG, EOVERFLOW
extern const std::string_view kCauseTooManyOpen;   // EMFILE
extern const std::string_view kCauseSystemOpen;    // ENFILE
extern const std::string_view kCauseNameTooLong;   // ENAMETOOLONG for one name
extern const std::string_view kCausePathTooLong;   // ENAMETOOLONG for the whole path
extern const std::string_view kCauseFileBusy;      // ETXTBSY
extern const std::string_view kCauseBusy;          // EBUSY
extern const std::string_view kCauseLinkLoop;      // ELOOP
extern const std::string_view kCauseNoMemory;      // ENOMEM
extern const std::string_view kCauseExists;        // EEXIST
extern const std::string_view kCauseCrossDevice;   // EXDEV
extern const std::string_view kCauseInvalid;       // EINVAL
extern const std::string_view kCauseNoDevice;      // ENXIO, ENODEV
extern const std::string_view kCauseStale;         // ESTALE
extern const std::string_view kCauseInterrupted;   // EINTR
extern const std::string_view kCauseLocked;        // EAGAIN

// ---- Opening and reading files ------------------------------------------------------------

// What a path names that is no regular file ("Der Pfad ist ..."): the kind in words.
extern const std::string_view kKindPipe;  // Windows: a named pipe
extern const std::string_view kKindFifo;  // POSIX: a FIFO
extern const std::string_view kKindSocket;
extern const std::string_view kKindFolder;
extern const std::string_view kKindDevice;
extern const std::string_view kKindOther;  // none of the kinds above

// The openings of a file error; the path follows them directly.
extern const std::string_view kOpenFailed;
extern const std::string_view kReadFailed;
extern const std::string_view kBackupFailed;
extern const std::string_view kSaveFailedOf;
// The same without a path to name.
extern const std::string_view kSaveFailed;

// A failed file operation: opening + path, then the system's number and the cause.
std::string FileError(std::string_view opening, std::string_view path, std::int64_t number,
                      std::string_view cause);
// Opening a path that names no regular file; kind is one of the kinds above.
std::string OpenNotRegular(std::string_view path, std::string_view kind);
std::string FileNotFound(std::string_view path);
// "Original" without a loaded file.
extern const std::string_view kFileNotFoundNoPath;

// A file that could not be read after all: memory ran out while reading (outOfMemory), or
// the file is beyond the 2 GB the entries can address.
std::string TooLargeReading(std::string_view path, bool outOfMemory);
// A file whose read would not fit in memory; both sizes in whole MB.
std::string TooLargeToRead(std::string_view path, std::uint64_t neededMb,
                           std::uint64_t availableMb);

// The open dialog's filter: description, NUL, pattern.
extern const std::string_view kOpenFilter;

// ---- Saving -------------------------------------------------------------------------------

// The question before a save when the file changed since it was loaded.
std::string OverwriteLinked(std::string_view path, std::string_view linkTarget);
std::string OverwriteReplaced(std::string_view path);
std::string OverwriteGone(std::string_view path);
std::string OverwriteEdited(std::string_view path);

std::string SaveNotRegular(std::string_view path, std::string_view kind);
// A save whose output would grow beyond growth times the loaded size; nested tells that
// the indentation of deep groups is the cause.
std::string SaveTooLarge(std::string_view path, std::uint64_t outputMb, std::uint64_t growth,
                         std::uint64_t loadedBytes, bool nested);
std::string BackupNameTooLong(std::string_view path, std::string_view backupPath);
extern const std::string_view kNothingLoaded;
extern const std::string_view kSaveNoMemory;

// A field text the file cannot hold: the field's name and the character as Character*
// below describe it.
std::string Unstorable(std::string_view fieldName, std::string_view character);
extern const std::string_view kCharacterTab;
extern const std::string_view kCharacterLineBreak;
std::string CharacterQuoted(std::string_view character);
std::string CharacterControl(unsigned number);
std::string CharacterByte(unsigned number);  // a byte that starts no UTF-8 character

// Before a save that drops what only the file holds while the backup is older.
std::string DropQuestion(std::string_view path, std::string_view backupPath);

// ---- The note after a load ------------------------------------------------------------------

// What a save would change beyond the field values: the opening, then one line per kind.
extern const std::string_view kChangeOpening;
extern const std::string_view kChangeBinary;
extern const std::string_view kChangeNonAscii;
extern const std::string_view kChangeBracket;
extern const std::string_view kChangeUnbalanced;
extern const std::string_view kChangeNamedClosing;
extern const std::string_view kChangeUnfinished;
extern const std::string_view kChangeControl;
extern const std::string_view kChangeOrder;  // when none of the kinds above applies
// The backup, then how it stands: made at the first save, holding the file as it is now,
// or older and never replaced.
extern const std::string_view kBackupName;
extern const std::string_view kBackupWillHold;
extern const std::string_view kBackupHolds;
extern const std::string_view kBackupOlder;

// An entry that mirrors a field stands count times in the file.
std::string DuplicateEntry(std::string_view name, long long count);
// More ratios than there are fields.
std::string ExtraRatios(int count);

// ---- Presets and the window ---------------------------------------------------------------

std::string PowerNoNumber(std::string_view text);
// Files named on the command line after the first one, which alone was opened.
std::string NotOpened(const std::vector<std::string>& paths);
extern const std::string_view kStepNoMemory;
std::string UnexpectedFault(std::string_view what);
extern const std::string_view kUnknownException;

// The buttons of the question, with their mnemonics.
extern const std::string_view kYes;
extern const std::string_view kNo;

// ---- The gear chart "Getriebe" --------------------------------------------------------------

extern const std::string_view kChartTitle;
extern const std::string_view kGearTableName;
extern const std::string_view kChartPictureName;
extern const std::array<std::string_view, 6> kGearColumns;

// The line shown instead of a chart that cannot be drawn. ratioField is 0-based.
extern const std::string_view kChartNoMotor;
extern const std::string_view kChartNoRatio;
extern const std::string_view kChartNoRadius;
extern const std::string_view kChartNoU3;
extern const std::string_view kChartU3BelowOne;
std::string ChartU3TooHigh(std::string_view maximum);
extern const std::string_view kChartU1Outside;
extern const std::string_view kChartU2Outside;
std::string RatioField(int ratioField);
std::string ChartRatioZero(int ratioField);
std::string ChartRatioTooFast(int ratioField, std::string_view maximum);
std::string ChartRatioTooSlow(int ratioField);
extern const std::string_view kChartNoRoom;

// The axes' names.
extern const std::string_view kAxisRevolutions;
extern const std::string_view kAxisForward;
extern const std::string_view kAxisReverse;

// The sentence for screen readers, piece by piece: the gears, the top speeds, the gaps.
std::string Gears(std::size_t count);
std::string ForwardUpTo(std::string_view speed);
extern const std::string_view kNoForwardGear;
std::string ReverseUpTo(std::string_view speed);
extern const std::string_view kNoReverseGear;
extern const std::string_view kNoGap;
std::string Gaps(std::size_t count);
std::string Gap(std::string_view from, std::string_view to);

// The menu items: the main window's system menu, the chart's context menu.
extern const std::string_view kChartMenuItem;
extern const std::string_view kCopyTableMenuItem;

// Saving the chart as SVG.
extern const std::string_view kSaveSvgButton;
extern const std::string_view kSaveSvgTitle;
extern const std::string_view kSvgDefaultName;
extern const std::string_view kSvgFilter;
std::string WithNumber(std::string_view reason, int number);
std::string SvgNotSaved(std::string_view path, std::string_view reason);

}  // namespace quorvel::texts
