#include "LoadNotice.h"

#include <charconv>
#include <iterator>

#include "EditorState.h"
#include "Mod_Quorvel.h"

namespace quorvel {

namespace {

// The bytes the layout may change: writing sets its own blanks, tabs and line ends.
bool IsLayout(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The characters other than the layout's that writing the entry gives, in order.
template <typename F>
void EntryCharacters(const C_Name_Val& entry, F&& piece) {
    if (entry.Typ > 0) {
        piece(entry.Name), piece("("), piece(entry.Value), piece(")");
    } else if (entry.Typ == typ::GroupOpen) {
        piece(entry.Name), piece("{");
    } else if (entry.Typ == typ::GroupClose) {
        piece(entry.Name), piece("}");
    } else {
        piece(entry.Name);
    }
}

}  // namespace

// Compared entry by entry against the bytes, the layout skipped on both sides: the
// indentation is never formed, so deep nesting costs nothing extra (written, it
// grows with the square of the depth).
bool ChangesBeyondFields(std::string_view bytes, const Entries& entries) {
    const char* at = bytes.data();
    const char* const end = at + bytes.size();
    bool same = true;
    entries.ForEach([&](const C_Name_Val& entry) {
        if (!same) return;
        EntryCharacters(entry, [&](std::string_view piece) {
            for (const char c : piece) {
                if (!same || IsLayout(c)) continue;
                while (at != end && IsLayout(*at)) ++at;
                same = at != end && *at == c;
                at += same;
            }
        });
    });
    while (same && at != end && IsLayout(*at)) ++at;
    return !same || at != end;
}

namespace {

// Kinds of change, as bits.
enum Kind : unsigned {
    Binary = 1,         // a NUL or many control bytes: not a property file at all
    NonAscii = 2,       // umlauts and the like vanish on reading
    Bracket = 4,        // a bracket inside a value, or a ")" without its "("
    Unbalanced = 8,     // a "}" too many or too few, or a "{" without a name
    NamedClosing = 16,  // text before a "}" is dropped
    Unfinished = 32,    // text after the last complete entry is dropped
    Control = 64,       // a few control bytes, such as an old end-of-file mark
};

// Walks the bytes the way reading cuts them into entries and notes what reading
// would lose or reshape.
unsigned FindKinds(std::string_view bytes) {
    unsigned kinds = 0;
    bool inValue = false;  // after a "(" that no ")" has closed yet
    bool any = false;      // collected text since the last delimiter, blanks too
    bool text = false;     // collected text other than blanks
    long depth = 0;
    std::size_t controls = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\t' || c == '\r' || c == '\n') continue;
        if (c < 32 || c == 127) {
            kinds |= c == 0 || ++controls > 8 ? Binary : Control;
            continue;
        }
        if (c > 127) {
            kinds |= NonAscii;
            continue;
        }
        switch (c) {
            case '(':
                if (inValue) kinds |= Bracket;
                inValue = true;
                break;
            case ')':
                if (!inValue) kinds |= Bracket;
                inValue = false;
                break;
            case '{':
                if (inValue) kinds |= Bracket;
                if (!any) {
                    kinds |= Unbalanced;  // reading skips a "{" without a name
                    break;
                }
                ++depth;
                inValue = false;
                break;
            case '}':
                if (inValue) kinds |= Bracket;
                if (text && !inValue) kinds |= NamedClosing;
                if (depth == 0) kinds |= Unbalanced;
                depth = depth > 0 ? depth - 1 : 0;
                inValue = false;
                break;
            default:
                any = true;
                text = text || c != ' ';
                continue;
        }
        any = false;
        text = false;
    }
    if (text || inValue) kinds |= Unfinished;
    if (depth != 0) kinds |= Unbalanced;
    return kinds;
}

// Non-ASCII letters spelled as UTF-8 bytes, as elsewhere in the project.
constexpr const char* kLines[] = {
    "Sie enth\xC3\xA4lt Bin\xC3\xA4rdaten (Steuerzeichen) und ist wohl keine "
    "Eigenschaftsdatei; nur ihre lesbaren Teile blieben erhalten.",
    "Zeichen au\xC3\x9F"
    "erhalb von ASCII (etwa Umlaute) gingen verloren.",
    "Eine Klammer \xE2\x80\x9E(\xE2\x80\x9C, \xE2\x80\x9E)\xE2\x80\x9C, \xE2\x80\x9E{\xE2\x80\x9C "
    "oder \xE2\x80\x9E}\xE2\x80\x9C steht innerhalb eines Werts oder ohne Gegenst\xC3\xBC"
    "ck; der Wert w\xC3\xBCrde aufgeteilt und anders geschrieben.",
    "Die Gruppen mit \xE2\x80\x9E{\xE2\x80\x9C und \xE2\x80\x9E}\xE2\x80\x9C sind nicht "
    "ausgeglichen.",
    "Text vor einem \xE2\x80\x9E}\xE2\x80\x9C (ein Name am Ende einer Gruppe) ginge verloren.",
    "Text nach dem letzten vollst\xC3\xA4ndigen Eintrag ginge verloren.",
    "Steuerzeichen (unsichtbare Bytes) gingen verloren.",
};

constexpr const char* kBackupName =
    "Die Sicherung (Dateiname mit angeh\xC3\xA4ngtem \xE2\x80\x9E_Orig\xE2\x80\x9C)";

std::string ChangeWarning(unsigned kinds, BackupState backup) {
    std::string text =
        "Beim Speichern w\xC3\xBCrde sich diese Datei \xC3\xBC"
        "ber die Werte der Felder hinaus \xC3\xA4ndern:";
    // A binary file is told as such; its stray brackets would only add noise.
    if ((kinds & Binary) != 0) kinds = Binary;
    bool named = false;
    for (unsigned i = 0; i < std::size(kLines); ++i) {
        if ((kinds & (1u << i)) == 0) continue;
        text.append("\r\n- ").append(kLines[i]);
        named = true;
    }
    if (!named) text += "\r\n- Ihr Inhalt w\xC3\xBCrde anders geordnet geschrieben.";
    text.append("\r\n").append(kBackupName);
    switch (backup) {
        case BackupState::None:
            return text +
                   ", die beim ersten Speichern entsteht, beh\xC3\xA4lt die Datei, wie sie war.";
        case BackupState::Holds:
            return text + " gibt es schon; sie enth\xC3\xA4lt die Datei, wie sie jetzt ist.";
        case BackupState::Older:
            break;
    }
    // An existing backup is never replaced: what only this version holds would be gone.
    return text +
           " gibt es schon mit einem \xC3\xA4lteren Stand und wird nicht ersetzt: Keine "
           "Sicherung beh\xC3\xA4lt die Datei, wie sie jetzt ist. Vor dem Speichern wird "
           "deshalb gefragt.";
}

// The entries that mirror a field, bar "Uebersetzung" (one per ratio field); the motor's
// only while the vehicle has a motor, as only then are they saved.
constexpr std::string_view kFieldNames[] = {"Masse",
                                            "Bremskraft",
                                            "Reibungskraft",
                                            "Leistung",
                                            "Grenzdrehzahl_U1",
                                            "Grenzdrehzahl_U2",
                                            "Grenzdrehzahl_U3",
                                            "Treibradradius"};
constexpr std::size_t kAlwaysSaved = 3;

std::string Count(long long number) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, number).ptr};
}

// One sentence per field whose entry the file holds more than once.
std::string DuplicateNote(const Entries& entries, bool motor) {
    long long counts[std::size(kFieldNames)] = {};
    const std::size_t fields = motor ? std::size(kFieldNames) : kAlwaysSaved;
    entries.ForEach([&](const C_Name_Val& entry) {
        for (std::size_t i = 0; i < fields; ++i) counts[i] += entry.Name == kFieldNames[i];
    });
    std::string note;
    for (std::size_t i = 0; i < fields; ++i) {
        if (counts[i] < 2) continue;
        if (!note.empty()) note += "\r\n";
        note.append("Der Eintrag \xE2\x80\x9E")
            .append(kFieldNames[i])
            .append("\xE2\x80\x9C steht ")
            .append(Count(counts[i]))
            .append(
                "-mal in der Datei. Das Feld zeigt den Wert des letzten; beim Speichern "
                "erhalten alle den Wert des Feldes.");
    }
    return note;
}

std::string RatioNote(int ratios) {
    char digits[16];
    const std::string count(digits, std::to_chars(digits, digits + sizeof digits, ratios).ptr);
    return "Die Datei enth\xC3\xA4lt " + count +
           " \xC3\x9C"
           "bersetzungen. Nur die ersten sechs werden gezeigt und neu berechnet; "
           "\xE2\x80\x9EV Max vorw\xC3\xA4rts\xE2\x80\x9C gilt f\xC3\xBCr die sechste. Die "
           "\xC3\xBC"
           "brigen bleiben in der Datei, wie sie sind.";
}

}  // namespace

std::string LoadNotice(std::string_view bytes, const Entries& entries, bool motor, bool changes,
                       BackupState backup) {
    std::string notice;
    const auto add = [&notice](const std::string& part) {
        if (part.empty()) return;
        if (!notice.empty()) notice += "\r\n\r\n";
        notice += part;
    };
    if (changes) add(ChangeWarning(FindKinds(bytes), backup));
    add(DuplicateNote(entries, motor));
    int ratios = 0;
    entries.ForEach([&ratios](const C_Name_Val& entry) { ratios += entry.Name == "Uebersetzung"; });
    if (ratios > kRatioFields) add(RatioNote(ratios));
    return notice;
}

}  // namespace quorvel
