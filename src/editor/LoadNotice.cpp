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

// Whether writing the entries gives the file's characters again, blanks, tabs and line
// ends aside. Compared chunk by chunk as the layout is made; a file in the host's own
// layout matches byte for byte, the quick way.
bool SameCharacters(std::string_view bytes, const Entries& entries) {
    std::string_view rest = bytes;  // what the layout has not matched yet
    bool aligned = true;            // so far the very same bytes
    const int mismatch = StreamEntries(entries, [&](std::string_view chunk) {
        if (aligned && rest.starts_with(chunk)) {
            rest.remove_prefix(chunk.size());
            return 0;
        }
        aligned = false;
        for (const char c : chunk) {
            if (IsLayout(c)) continue;
            while (!rest.empty() && IsLayout(rest.front())) rest.remove_prefix(1);
            if (rest.empty() || rest.front() != c) return 1;
            rest.remove_prefix(1);
        }
        return 0;
    });
    while (!rest.empty() && IsLayout(rest.front())) rest.remove_prefix(1);
    return mismatch == 0 && rest.empty();
}

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

std::string ChangeWarning(unsigned kinds) {
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
    text +=
        "\r\nDie Sicherung (Dateiname mit angeh\xC3\xA4ngtem \xE2\x80\x9E_Orig\xE2\x80\x9C), die "
        "beim ersten Speichern entsteht, beh\xC3\xA4lt die Datei, wie sie war.";
    return text;
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

std::string LoadNotice(std::string_view bytes, const Entries& entries) {
    std::string notice;
    if (!SameCharacters(bytes, entries)) notice = ChangeWarning(FindKinds(bytes));
    int ratios = 0;
    for (const C_Name_Val& entry : entries) ratios += entry.Name == "Uebersetzung";
    if (ratios > kRatioFields) {
        if (!notice.empty()) notice += "\r\n\r\n";
        notice += RatioNote(ratios);
    }
    return notice;
}

}  // namespace quorvel
