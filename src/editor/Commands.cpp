#include "Commands.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "Calculation.h"
#include "GuardedRead.h"
#include "LoadNotice.h"
#include "Mod_Datei.h"
#include "Mod_Quorvel.h"
#include "Mod_String.h"
#include "SafeSave.h"
#include "Texts.h"

namespace quorvel {

namespace {

// Non-ASCII letters spelled as UTF-8 bytes, so the texts do not depend on the compiler's
// source charset. A literal is split after an escape that a hex digit would extend.
constexpr std::string_view kRatioLabel =
    "\xC3\x9C"
    "bersetzung";

// Whether a field's text can stand in a value of the host's file as it is: only the
// printable ASCII bytes survive the next reading, and the brackets would cut the value
// into other entries.
bool IsStorable(unsigned char byte) {
    return byte >= 32 && byte <= 126 && byte != '(' && byte != ')' && byte != '{' && byte != '}';
}

std::string Decimal(long long number) {
    char digits[24];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

// The length of the UTF-8 sequence starting at `at`, or 0 when it is not well formed.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// The offending character as the user can recognise it: visible ones quoted, the usual
// invisible ones by name, a control character or a stray byte by its number.
std::string DescribeCharacter(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '\t') return std::string(texts::kCharacterTab);
    if (byte == '\r' || byte == '\n') return std::string(texts::kCharacterLineBreak);
    std::size_t length = byte >= 32 && byte <= 126 ? 1 : Utf8Length(text, at);
    if (length > 0) return texts::CharacterQuoted(text.substr(at, length));
    if (byte < 32 || byte == 127) return texts::CharacterControl(byte);
    return texts::CharacterByte(byte);  // not UTF-8, e.g. a Latin-1 umlaut
}

// The first character of the text that the file cannot hold, as its offset.
std::optional<std::size_t> FirstUnstorable(std::string_view text) {
    const auto it = std::find_if(text.begin(), text.end(),
                                 [](char c) { return !IsStorable(static_cast<unsigned char>(c)); });
    if (it == text.end()) return std::nullopt;
    return static_cast<std::size_t>(it - text.begin());
}

// A field text on its way into an entry, with the label the user knows the field by.
struct Collected {
    std::string_view label;
    int position = 0;  // 1-based for the ratio fields, 0 for every other field
    const std::string* text = nullptr;
};

// The fields that mirror entries of the file, in the order of kFields.
enum class Field : unsigned char { None, Masse, BremsK, ReibK, Leistung, U1, U2, U3, Treib, Ueber };

struct FieldInfo {
    std::string_view label;
    std::string EditorState::*text;  // null for the ratio fields, reached by their index
    bool motor;                      // saved only while the vehicle has a motor
};
constexpr FieldInfo kFields[] = {
    {{}, nullptr, false},
    {"Masse", &EditorState::tx_Masse, false},
    {"Bremskraft", &EditorState::tx_BremsK, false},
    {"Reibungskraft", &EditorState::tx_ReibK, false},
    {"Leistung", &EditorState::tx_Leistung, true},
    {"Grenzdrehzahl U1", &EditorState::tx_U1, true},
    {"Grenzdrehzahl U2", &EditorState::tx_U2, true},
    {"Grenzdrehzahl U3", &EditorState::tx_U3, true},
    {"Treibradradius", &EditorState::tx_Treib, true},
    {kRatioLabel, nullptr, true},
};

// The field an entry of this name mirrors: one lookup per entry. The names differ in
// length but for the three limit revolutions, so the length picks the one name to
// compare with.
Field FieldOf(std::string_view name) {
    const auto is = [name](std::string_view known, Field field) {
        return name == known ? field : Field::None;
    };
    switch (name.size()) {
        case 5:
            return is("Masse", Field::Masse);
        case 8:
            return is("Leistung", Field::Leistung);
        case 10:
            return is("Bremskraft", Field::BremsK);
        case 12:
            return is("Uebersetzung", Field::Ueber);
        case 13:
            return is("Reibungskraft", Field::ReibK);
        case 14:
            return is("Treibradradius", Field::Treib);
        case 16:
            if (name.substr(0, 15) != "Grenzdrehzahl_U") return Field::None;
            return name[15] == '1'   ? Field::U1
                   : name[15] == '2' ? Field::U2
                   : name[15] == '3' ? Field::U3
                                     : Field::None;
        default:
            return Field::None;
    }
}

constexpr std::size_t kFieldCount = std::size(kFields);

// ENAMETOOLONG: a name or path beyond the system's limit.
bool IsNameTooLong(int code) {
#ifdef _WIN32
    return code == 206;  // ERROR_FILENAME_EXCED_RANGE
#else
    return code == ENAMETOOLONG;
#endif
}

const FieldInfo& InfoOf(Field field) {
    return kFields[static_cast<std::size_t>(field)];
}

// Where an entry that mirrors field takes its text from on save; none for an entry of
// any other name, for the motor fields while the vehicle has no motor, and for the
// seventh and later ratio, which keeps the file's value.
std::optional<Collected> FieldForEntry(const EditorState& state, Field field, int& ratioCounter) {
    const FieldInfo& info = InfoOf(field);
    if (field == Field::None || (info.motor && !state.vehicle.HasMotor)) return std::nullopt;
    if (field != Field::Ueber) return Collected{info.label, 0, &(state.*info.text)};
    if (ratioCounter >= kRatioFields) return std::nullopt;
    const int n = ratioCounter++;
    return Collected{info.label, n + 1, &state.tx_ueber[static_cast<std::size_t>(n)]};
}

void RefuseUnstorable(MessageSink& messages, const Collected& field, std::size_t at) {
    std::string label(field.label);
    if (field.position > 0) label.append(" ").append(Decimal(field.position));
    messages.ShowMessage(kAppTitle, texts::Unstorable(label, DescribeCharacter(*field.text, at)),
                         MessageIcon::Exclamation);
}

// What a new file must not inherit from the last one: reading only ever sets HasMotor.
void ForgetVehicle(EditorState& state) {
    state.vehicle.HasMotor = false;
    state.Fra_Motor_visible = state.vehicle.HasMotor;
    state.selected = TypeOption::Opt_Andere;
}

void LoadChosen(EditorState& state, Services& services, const std::string& chosen) {
    state.LastFolder = GetFolder(chosen);
    LoadFile(state, services, chosen);
}

}  // namespace

void OpenCommand(EditorState& state, Services& services) {
    ForgetVehicle(state);

    const std::string firstFolder =
        state.LastFolder.empty() ? services.host.RollingStockFolder() : state.LastFolder;
    const std::string chosen = services.dialog.ShowOpenDialog(
        kOpenFilter, kOpenFlags, std::optional<std::string>(firstFolder));
    if (!chosen.empty()) LoadChosen(state, services, chosen);
}

void OpenChosenFile(EditorState& state, Services& services, const std::string& path) {
    ForgetVehicle(state);
    LoadChosen(state, services, path);
}

namespace {

// Files are compared this many bytes at a time.
constexpr std::size_t kPiece = 64 << 10;

// The regular file at path, opened without waiting on a pipe or device put there in the
// meantime; nothing for anything else.
std::optional<DataFile> OpenPlain(const std::string& path) {
    SystemError error;
    unsigned kind = 0;
    std::FILE* file = OpenRegularForReading(path, error, kind);
    if (file == nullptr) return std::nullopt;
    return std::optional<DataFile>(std::in_place, file);
}

// Whether the regular file at path holds exactly bytes: the size first, then the content
// a piece at a time. False for anything else, a missing file included.
bool FileHolds(const std::string& path, std::string_view bytes) {
    const std::optional<DataFile> in = OpenPlain(path);
    if (!in || OpenFileSize(in->get()) != bytes.size()) return false;
    auto piece = std::make_unique<char[]>(kPiece);
    for (;;) {
        const std::size_t got = std::fread(piece.get(), 1, kPiece, in->get());
        if (bytes.substr(0, got) != std::string_view(piece.get(), got)) return false;
        bytes.remove_prefix(got);
        if (got < kPiece) return bytes.empty() && std::ferror(in->get()) == 0;
    }
}

std::filesystem::path BackupOf(const std::string& path) {
    return PathFromText(path + std::string(kBackupSuffix));
}

// What the backup of the file at path holds, compared with the file's bytes as loaded.
BackupState BackupStateOf(const std::string& path, std::string_view bytes) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(BackupOf(path), error)))
        return BackupState::None;
    return FileHolds(path + std::string(kBackupSuffix), bytes) ? BackupState::Holds
                                                               : BackupState::Older;
}

// At save time: true when a backup exists and does not hold the file's current bytes,
// so that what the save drops would be gone for good. The sizes decide most cases.
// Never throws: a backup that cannot be read counts as differing.
bool BackupLacksFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(BackupOf(path), error)))
        return false;
    const std::optional<DataFile> file = OpenPlain(path);
    // A file that is missing or not a plain file is the save's own refusal to tell.
    if (!file) return false;
    const std::optional<DataFile> backup = OpenPlain(path + std::string(kBackupSuffix));
    if (!backup || OpenFileSize(file->get()) != OpenFileSize(backup->get())) return true;
    // Piece by piece, so that no size of file needs more memory than two pieces.
    auto pieces = std::make_unique<char[]>(2 * kPiece);
    for (;;) {
        const std::size_t a = std::fread(pieces.get(), 1, kPiece, file->get());
        const std::size_t b = std::fread(pieces.get() + kPiece, 1, kPiece, backup->get());
        if (a != b || std::memcmp(pieces.get(), pieces.get() + kPiece, a) != 0) return true;
        if (a < kPiece) return std::ferror(file->get()) != 0 || std::ferror(backup->get()) != 0;
    }
}

void Load(EditorState& state, Services& services, const std::string& path, bool isBackup) {
    state.tx_Datei = path;
    state.Entries = quorvel::Entries{};
    state.EntriesLoaded = false;
    state.ChangesBeyondFields = false;
    state.Loaded = {};
    quorvel::Entries read;
    std::string_view bytes;  // held by the entries
    std::string notice;
    if (ReadEntriesGuarded(path, read, state.vehicle, services.format, services.messages,
                           &state.Loaded.identity, &bytes)) {
        state.Entries = std::move(read);
        state.EntriesLoaded = true;
        ShowEntries(state);
        const bool changes = ChangesBeyondFields(bytes, state.Entries);
        // Read from the backup itself, what a save drops stays in the backup.
        const BackupState backup = !changes   ? BackupState::None
                                   : isBackup ? BackupState::Holds
                                              : BackupStateOf(path, bytes);
        state.ChangesBeyondFields = changes && !isBackup;
        notice = LoadNotice(bytes, state.Entries, state.vehicle.HasMotor, changes, backup);
    }
    const bool motor = state.vehicle.HasMotor;
    state.Fra_Motor_visible = motor;
    state.Opt_DLok_enabled = motor;
    state.Opt_Elok_enabled = motor;
    state.Opt_waggon_enabled = !motor;
    // Told once the window shows the file, before the user can change anything.
    if (!notice.empty()) services.messages.ShowMessage(kAppTitle, notice, MessageIcon::Information);
}

}  // namespace

void LoadFile(EditorState& state, Services& services, const std::string& path) {
    Load(state, services, path, false);
}

void ShowEntries(EditorState& state) {
    int n = 0;
    state.Entries.ForEach([&state, &n](const C_Name_Val& entry) {
        const Field field = FieldOf(entry.Name);
        if (field == Field::None) return;
        if (field != Field::Ueber) {
            (state.*InfoOf(field).text).assign(entry.Value);
        } else if (n < kRatioFields) {
            // A seventh or later ratio has no field; it stays in the file as it is.
            const auto i = static_cast<std::size_t>(n++);
            state.tx_ueber[i].assign(entry.Value);
            state.tx_ueber_visible[i] = true;
        }
    });
    if (!state.vehicle.HasMotor) return;

    for (int j = n; j < kRatioFields; ++j)
        state.tx_ueber_visible[static_cast<std::size_t>(j)] = false;
    if (n == 0) {
        // No ratio is shown: any speed would come from another file's leftover ratios.
        state.tx_VMaxR.clear();
        state.tx_VmaxV.clear();
        return;
    }
    state.tx_VMaxR = SpeedText(state, std::fabs(ParseLeadingNumber(state.tx_ueber[0])));
    state.tx_VmaxV =
        SpeedText(state, ParseLeadingNumber(state.tx_ueber[static_cast<std::size_t>(n - 1)]));
}

void OpenPath(EditorState& state, Services& services, const std::optional<std::string>& path) {
    if (!path) return;
    LoadFile(state, services, *path);
}

namespace {

// A field's place among all fields a save collects: the ratios after the others.
std::size_t Slot(const Collected& field, Field kind) {
    return field.position > 0 ? kFieldCount + static_cast<std::size_t>(field.position - 1)
                              : static_cast<std::size_t>(kind);
}

// The field texts into their entries, or false after telling the user why not; the
// entries change only when all of it fits. Each text is checked once and stored once,
// shared by every entry of its name.
bool CollectFields(EditorState& state, Services& services) {
    std::array<std::vector<std::size_t>, kFieldCount + kRatioFields> entries;
    std::array<const Collected*, kFieldCount + kRatioFields> fields{};
    std::vector<Collected> seen;
    seen.reserve(kFieldCount + kRatioFields);
    std::uint64_t output = FormattedSize(state.Entries);
    int n = 0;
    for (auto it = state.Entries.begin(); it != state.Entries.end(); ++it) {
        const C_Name_Val entry = *it;
        const Field kind = FieldOf(entry.Name);
        const std::optional<Collected> field = FieldForEntry(state, kind, n);
        if (!field) continue;
        const std::size_t slot = Slot(*field, kind);
        if (fields[slot] == nullptr) {
            if (const auto at = FirstUnstorable(*field->text)) {
                RefuseUnstorable(services.messages, *field, *at);
                return false;
            }
            fields[slot] = &seen.emplace_back(*field);
        }
        if (entry.Typ > 0)
            output += field->text->size() - entry.Value.size();  // only values are written
        entries[slot].push_back(it.index());
    }
    const std::uint64_t loadedSize =
        state.Loaded.identity.known ? state.Loaded.identity.size : state.Entries.TextSize();
    if (const auto refusal = TooLargeText(state.tx_Datei, state.Entries, output, loadedSize)) {
        services.messages.ShowMessage(kAppTitle, *refusal, MessageIcon::Exclamation);
        return false;
    }
    // Applied to a copy: a list that cannot take them all stays as it was.
    quorvel::Entries changed = state.Entries;
    for (std::size_t slot = 0; slot < entries.size(); ++slot) {
        if (fields[slot] != nullptr) changed.SetValue(entries[slot], *fields[slot]->text);
    }
    state.Entries = std::move(changed);
    return true;
}

// What the user is told when a save fails.
void TellSaveFailure(Services& services, const std::string& path, const SaveResult& result) {
    const SystemError error{result.errorCode, result.description};
    if (result.step == SaveStep::Backup && IsNameTooLong(result.errorCode)) {
        services.messages.ShowMessage(kAppTitle, texts::BackupNameTooLong(path, result.path),
                                      MessageIcon::Critical);
    } else if (result.step == SaveStep::Backup) {
        ShowFileError(services.messages, texts::kBackupFailed, result.path, error);
    } else if (path.empty()) {
        ShowFileError(services.messages, texts::kSaveFailed, path, error);
    } else {
        ShowFileError(services.messages, texts::kSaveFailedOf, path, error);
    }
}

}  // namespace

void SaveCommand(EditorState& state, Services& services) {
    // Without a file read in full there is nothing to save: writing the empty list would
    // leave the file empty.
    if (!state.EntriesLoaded) {
        services.messages.ShowMessage(kAppTitle, std::string(texts::kNothingLoaded),
                                      MessageIcon::Exclamation);
        return;
    }
    try {
        // All fields are checked before any entry changes: a refused save leaves the
        // entries as they were.
        if (!CollectFields(state, services)) return;
    } catch (...) {
        services.messages.ShowMessage(kAppTitle, std::string(texts::kSaveNoMemory),
                                      MessageIcon::Critical);
        return;
    }

    const std::string path = state.tx_Datei;
    // The load notice said what the save drops; with an older backup beside the file,
    // nothing would keep it.
    if (state.ChangesBeyondFields && BackupLacksFile(path) &&
        !services.messages.AskYesNo(kAppTitle,
                                    texts::DropQuestion(path, path + std::string(kBackupSuffix))))
        return;
    const SaveResult result = SaveEntries(path, state.Entries, state.Loaded, services.messages);
    // The file now holds the entries' own layout: the next save changes only values.
    if (result.ok()) state.ChangesBeyondFields = false;
    if (result.ok() || result.told) return;
    TellSaveFailure(services, path, result);
}

void RestoreOriginal(EditorState& state, Services& services) {
    const std::string path = state.tx_Datei;
    if (path.empty()) {
        // No file is loaded. Not even looked up: the backup's name alone, "_Orig", would
        // name a file in whatever folder the program was started from.
        services.messages.ShowMessage(kAppTitle, std::string(texts::kFileNotFoundNoPath),
                                      MessageIcon::Exclamation);
        return;
    }
    const std::string source = RestoreSource(path);
    Load(state, services, source, source != path);
    state.tx_Datei = path;
    // A save compares with the file itself, not with the backup the values came from.
    if (source != path) state.Loaded = {IdentifyFile(path)};
}

}  // namespace quorvel
