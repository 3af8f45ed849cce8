#include "ErrorText.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace quorvel {

#ifdef _WIN32

std::string ErrorText(std::int64_t, std::string systemText, std::string_view) {
    return systemText;
}

#else

namespace {

// Umlauts and "ß" spelled as UTF-8 bytes, as elsewhere in the project.
struct Known {
    int code;
    const char* text;
};
constexpr Known kTexts[] = {
    {EACCES, "Zugriff verweigert"},
    {EPERM, "Vorgang nicht erlaubt"},
    {ENOENT, "Datei oder Ordner nicht gefunden"},
    {ENOTDIR, "Ein Teil des Pfads ist kein Ordner"},
    {EISDIR, "Der Pfad ist ein Ordner"},
    {EROFS, "Das Dateisystem ist schreibgesch\xC3\xBCtzt"},
    {ENOSPC, "Kein freier Platz auf dem Datentr\xC3\xA4ger"},
    {EDQUOT,
     "Speicherkontingent \xC3\xBC"
     "berschritten"},
    {EIO, "Ein-/Ausgabefehler"},
    {EFBIG, "Datei zu gro\xC3\x9F"},
    {EOVERFLOW, "Datei zu gro\xC3\x9F"},
    {EMFILE, "Zu viele offene Dateien"},
    {ENFILE, "Zu viele offene Dateien im System"},
    {ENAMETOOLONG, "Dateiname zu lang"},
    {ETXTBSY, "Datei wird gerade benutzt"},
    {EBUSY, "Datei oder Ger\xC3\xA4t wird gerade benutzt"},
    {ELOOP, "Zu viele symbolische Verkn\xC3\xBCpfungen im Pfad"},
    {ENOMEM, "Nicht genug Arbeitsspeicher"},
    {EEXIST, "Die Datei existiert bereits"},
    {EXDEV, "Verschieben zwischen Dateisystemen nicht m\xC3\xB6glich"},
    {EINVAL, "Ung\xC3\xBCltiger Dateiname oder Vorgang"},
    {ENXIO, "Ger\xC3\xA4t nicht vorhanden"},
    {ENODEV, "Ger\xC3\xA4t nicht vorhanden"},
    {ESTALE, "Die Datei ist auf dem Netzlaufwerk nicht mehr vorhanden"},
    {EINTR, "Vorgang unterbrochen"},
    {EAGAIN,
     "Datei vor\xC3\xBC"
     "bergehend gesperrt"},
};

}  // namespace

std::string ErrorText(std::int64_t code, std::string systemText, std::string_view path) {
    if (code == ENAMETOOLONG && !path.empty()) {
        // The system says the same for one name beyond its limit and for a whole path.
        std::size_t longest = 0;
        for (std::size_t start = 0, end; start <= path.size(); start = end + 1) {
            end = std::min(path.find('/', start), path.size());
            longest = std::max(longest, end - start);
        }
        if (longest <= NAME_MAX) return "Pfad zu lang";
    }
    for (const Known& known : kTexts) {
        if (known.code == code) return known.text;
    }
    return systemText;
}

#endif

}  // namespace quorvel
