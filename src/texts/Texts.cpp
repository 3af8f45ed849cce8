#include "Texts.h"

#include <charconv>

// Non-ASCII letters are spelled as UTF-8 bytes, so the texts do not depend on the
// compiler's source charset. A literal is split after an escape that a hex digit would
// extend ("\xC3\xBC" "ber").
namespace quorvel::texts {

namespace {

template <typename Integer>
std::string Decimal(Integer number) {
    char digits[24];
    return {digits, std::to_chars(digits, digits + sizeof digits, number).ptr};
}

std::string Str(std::string_view text) {
    return std::string(text);
}

constexpr std::string_view kOpenQuote = "\xE2\x80\x9E";   // „
constexpr std::string_view kCloseQuote = "\xE2\x80\x9C";  // “

}  // namespace

// ---- Causes of a failed file operation ------------------------------------------------------

constexpr std::string_view kCauseAccessDenied = "Zugriff verweigert";
constexpr std::string_view kCauseNotPermitted = "Vorgang nicht erlaubt";
constexpr std::string_view kCauseNotFound = "Datei oder Ordner nicht gefunden";
constexpr std::string_view kCauseNotAFolder = "Ein Teil des Pfads ist kein Ordner";
constexpr std::string_view kCauseIsAFolder = "Der Pfad ist ein Ordner";
constexpr std::string_view kCauseReadOnly = "Das Dateisystem ist schreibgesch\xC3\xBCtzt";
constexpr std::string_view kCauseDiskFull = "Kein freier Platz auf dem Datentr\xC3\xA4ger";
constexpr std::string_view kCauseQuota =
    "Speicherkontingent \xC3\xBC"
    "berschritten";
constexpr std::string_view kCauseInputOutput = "Ein-/Ausgabefehler";
constexpr std::string_view kCauseFileTooLarge = "Datei zu gro\xC3\x9F";
constexpr std::string_view kCauseTooManyOpen = "Zu viele offene Dateien";
constexpr std::string_view kCauseSystemOpen = "Zu viele offene Dateien im System";
constexpr std::string_view kCauseNameTooLong = "Dateiname zu lang";
constexpr std::string_view kCausePathTooLong = "Pfad zu lang";
constexpr std::string_view kCauseFileBusy = "Datei wird gerade benutzt";
constexpr std::string_view kCauseBusy = "Datei oder Ger\xC3\xA4t wird gerade benutzt";
constexpr std::string_view kCauseLinkLoop = "Zu viele symbolische Verkn\xC3\xBCpfungen im Pfad";
constexpr std::string_view kCauseNoMemory = "Nicht genug Arbeitsspeicher";
constexpr std::string_view kCauseExists = "Die Datei existiert bereits";
constexpr std::string_view kCauseCrossDevice =
    "Verschieben zwischen Dateisystemen nicht m\xC3\xB6glich";
constexpr std::string_view kCauseInvalid = "Ung\xC3\xBCltiger Dateiname oder Vorgang";
constexpr std::string_view kCauseNoDevice = "Ger\xC3\xA4t nicht vorhanden";
constexpr std::string_view kCauseStale = "Die Datei ist auf dem Netzlaufwerk nicht mehr vorhanden";
constexpr std::string_view kCauseInterrupted = "Vorgang unterbrochen";
constexpr std::string_view kCauseLocked =
    "Datei vor\xC3\xBC"
    "bergehend gesperrt";

// ---- Opening and reading files ----------------------------------------------------------------

constexpr std::string_view kKindPipe = "eine benannte Pipe";
constexpr std::string_view kKindFifo = "eine benannte Pipe (FIFO)";
constexpr std::string_view kKindSocket = "ein Socket";
constexpr std::string_view kKindFolder = "ein Ordner";
constexpr std::string_view kKindDevice = "ein Ger\xC3\xA4t";
constexpr std::string_view kKindOther = "keine Datei";

constexpr std::string_view kOpenFailed =
    "Fehler beim \xC3\x96"
    "ffnen von ";
constexpr std::string_view kReadFailed = "Fehler beim Lesen von ";
constexpr std::string_view kBackupFailed = "Fehler beim Anlegen der Sicherung ";
constexpr std::string_view kSaveFailedOf = "Fehler beim Speichern von ";
constexpr std::string_view kSaveFailed = "Fehler beim Speichern";

std::string FileError(std::string_view opening, std::string_view path, std::int64_t number,
                      std::string_view cause) {
    std::string text;
    text.reserve(opening.size() + path.size() + cause.size() + 40);
    text.append(opening).append(path).append("\r\nNummer: ").append(Decimal(number));
    text.append("\r\nFehler: ").append(cause);
    return text;
}

std::string OpenNotRegular(std::string_view path, std::string_view kind) {
    return Str(kOpenFailed) + Str(path) + "\r\nDer Pfad ist " + Str(kind) +
           ", keine gew\xC3\xB6hnliche Datei.";
}

std::string FileNotFound(std::string_view path) {
    return "Datei " + Str(path) + " nicht gefunden";
}

constexpr std::string_view kFileNotFoundNoPath = "Datei nicht gefunden";

std::string TooLargeReading(std::string_view path, bool outOfMemory) {
    return "Die Datei " + Str(path) + " ist zu gro\xC3\x9F zum Lesen.\r\n" +
           (outOfMemory ? "Der Arbeitsspeicher reichte beim Lesen nicht aus."
                        : "Eine Eigenschaftsdatei kann h\xC3\xB6"
                          "chstens 2 GB gro\xC3\x9F sein.");
}

std::string TooLargeToRead(std::string_view path, std::uint64_t neededMb,
                           std::uint64_t availableMb) {
    return "Die Datei " + Str(path) +
           " ist zu gro\xC3\x9F zum Lesen.\r\nSie br\xC3\xA4uchte bis zu " + Decimal(neededMb) +
           " MB Arbeitsspeicher, verf\xC3\xBC"
           "gbar sind " +
           Decimal(availableMb) + " MB.";
}

constexpr std::string_view kOpenFilter{"Text-Dateien (*.txt)\0*.txt", 26};

// ---- Saving -----------------------------------------------------------------------------------

std::string OverwriteLinked(std::string_view path, std::string_view linkTarget) {
    return "Die Datei " + Str(path) + " ist jetzt ein Verweis auf " + Str(linkTarget) +
           ", nicht mehr die geladene Datei.\r\nBeim Speichern wird der Verweis durch "
           "die Datei ersetzt; sein Ziel bleibt unver\xC3\xA4ndert.\r\n\r\nTrotzdem speichern?";
}

std::string OverwriteReplaced(std::string_view path) {
    return "Die Datei " + Str(path) +
           " wurde seit dem Laden durch eine andere Datei ersetzt.\r\nSpeichern "
           "\xC3\xBC"
           "berschreibt diese andere Datei.\r\n\r\nTrotzdem speichern?";
}

std::string OverwriteGone(std::string_view path) {
    return "Die Datei " + Str(path) +
           " wurde seit dem Laden gel\xC3\xB6scht oder verschoben.\r\nSpeichern legt "
           "sie neu an.\r\n\r\nTrotzdem speichern?";
}

std::string OverwriteEdited(std::string_view path) {
    return "Die Datei " + Str(path) +
           " wurde seit dem Laden von einem anderen Programm ge\xC3\xA4ndert.\r\n"
           "Speichern \xC3\xBC"
           "berschreibt diese \xC3\x84nderungen.\r\n\r\nTrotzdem speichern?";
}

std::string SaveNotRegular(std::string_view path, std::string_view kind) {
    return "Die Datei " + Str(path) + " wurde nicht gespeichert: Der Pfad ist " + Str(kind) +
           ", keine gew\xC3\xB6hnliche Datei.";
}

std::string SaveTooLarge(std::string_view path, std::uint64_t outputMb, std::uint64_t growth,
                         std::uint64_t loadedBytes, bool nested) {
    std::string text = "Die Datei " + Str(path) + " wurde nicht gespeichert: Sie w\xC3\xBCrde " +
                       Decimal(outputMb) + " MB gro\xC3\x9F, mehr als das " + Decimal(growth) +
                       "fache der geladenen (" + Decimal(loadedBytes) + " Bytes).\r\n";
    if (nested)
        return text +
               "Ursache: Die Gruppen sind zu tief ineinander verschachtelt; jede Ebene "
               "r\xC3\xBC"
               "ckt ihre Zeilen um einen Tabulator weiter ein.";
    return text + "Ursache: Die Eintr\xC3\xA4ge sind zu viele oder zu lang.";
}

std::string BackupNameTooLong(std::string_view path, std::string_view backupPath) {
    return "Die Datei " + Str(path) + " wurde nicht gespeichert: Der Name ihrer Sicherung " +
           Str(backupPath) + " ist zu lang f\xC3\xBCr das Dateisystem.";
}

constexpr std::string_view kNothingLoaded =
    "Nicht gespeichert: Es ist keine vollst\xC3\xA4ndig gelesene Datei geladen.";
constexpr std::string_view kSaveNoMemory =
    "Die Datei wurde nicht gespeichert: Es ist nicht genug Arbeitsspeicher frei.";

std::string Unstorable(std::string_view fieldName, std::string_view character) {
    return "Die Datei wurde nicht gespeichert.\r\nDas Feld " + Str(kOpenQuote) + Str(fieldName) +
           Str(kCloseQuote) +
           " enth\xC3\xA4lt ein Zeichen, das die Datei nicht aufnehmen kann: " + Str(character) +
           "\r\nErlaubt sind Buchstaben ohne Umlaute, Ziffern, Leerzeichen und "
           "Satzzeichen au\xC3\x9F"
           "er ( ) { }.";
}

constexpr std::string_view kCharacterTab = "Tabulator";
constexpr std::string_view kCharacterLineBreak = "Zeilenumbruch";

std::string CharacterQuoted(std::string_view character) {
    return Str(kOpenQuote) + Str(character) + Str(kCloseQuote);
}

std::string CharacterControl(unsigned number) {
    return "Steuerzeichen Nr. " + Decimal(number);
}

std::string CharacterByte(unsigned number) {
    return "Byte " + Decimal(number);
}

std::string DropQuestion(std::string_view path, std::string_view backupPath) {
    return "Die Datei " + Str(path) +
           " w\xC3\xBCrde beim Speichern \xC3\xBC"
           "ber die Werte der Felder hinaus ge\xC3\xA4ndert (siehe den Hinweis beim Laden), "
           "und die Sicherung " +
           Str(backupPath) +
           " enth\xC3\xA4lt einen \xC3\xA4lteren Stand; sie wird nicht ersetzt.\r\nWas nur "
           "in der Datei steht, ginge verloren.\r\n\r\nTrotzdem speichern?";
}

// ---- The note after a load ---------------------------------------------------------------------

constexpr std::string_view kChangeOpening =
    "Beim Speichern w\xC3\xBCrde sich diese Datei \xC3\xBC"
    "ber die Werte der Felder hinaus \xC3\xA4ndern:";
constexpr std::string_view kChangeBinary =
    "Sie enth\xC3\xA4lt Bin\xC3\xA4rdaten (Steuerzeichen) und ist wohl keine "
    "Eigenschaftsdatei; nur ihre lesbaren Teile blieben erhalten.";
constexpr std::string_view kChangeNonAscii =
    "Zeichen au\xC3\x9F"
    "erhalb von ASCII (etwa Umlaute) gingen verloren.";
constexpr std::string_view kChangeBracket =
    "Eine Klammer \xE2\x80\x9E(\xE2\x80\x9C, \xE2\x80\x9E)\xE2\x80\x9C, \xE2\x80\x9E{\xE2\x80\x9C "
    "oder \xE2\x80\x9E}\xE2\x80\x9C steht innerhalb eines Werts oder ohne Gegenst\xC3\xBC"
    "ck; der Wert w\xC3\xBCrde aufgeteilt und anders geschrieben.";
constexpr std::string_view kChangeUnbalanced =
    "Die Gruppen mit \xE2\x80\x9E{\xE2\x80\x9C und \xE2\x80\x9E}\xE2\x80\x9C sind nicht "
    "ausgeglichen.";
constexpr std::string_view kChangeNamedClosing =
    "Text vor einem \xE2\x80\x9E}\xE2\x80\x9C (ein Name am Ende einer Gruppe) ginge verloren.";
constexpr std::string_view kChangeUnfinished =
    "Text nach dem letzten vollst\xC3\xA4ndigen Eintrag ginge verloren.";
constexpr std::string_view kChangeControl = "Steuerzeichen (unsichtbare Bytes) gingen verloren.";
constexpr std::string_view kChangeOrder = "Ihr Inhalt w\xC3\xBCrde anders geordnet geschrieben.";

constexpr std::string_view kBackupName =
    "Die Sicherung (Dateiname mit angeh\xC3\xA4ngtem \xE2\x80\x9E_Orig\xE2\x80\x9C)";
constexpr std::string_view kBackupWillHold =
    ", die beim ersten Speichern entsteht, beh\xC3\xA4lt die Datei, wie sie war.";
constexpr std::string_view kBackupHolds =
    " gibt es schon; sie enth\xC3\xA4lt die Datei, wie sie jetzt ist.";
constexpr std::string_view kBackupOlder =
    " gibt es schon mit einem \xC3\xA4lteren Stand und wird nicht ersetzt: Keine "
    "Sicherung beh\xC3\xA4lt die Datei, wie sie jetzt ist. Vor dem Speichern wird "
    "deshalb gefragt.";

std::string DuplicateEntry(std::string_view name, long long count) {
    return "Der Eintrag \xE2\x80\x9E" + Str(name) + "\xE2\x80\x9C steht " + Decimal(count) +
           "-mal in der Datei. Das Feld zeigt den Wert des letzten; beim Speichern "
           "erhalten alle den Wert des Feldes.";
}

std::string ExtraRatios(int count) {
    return "Die Datei enth\xC3\xA4lt " + Decimal(count) +
           " \xC3\x9C"
           "bersetzungen. Nur die ersten sechs werden gezeigt und neu berechnet; "
           "\xE2\x80\x9EV Max vorw\xC3\xA4rts\xE2\x80\x9C gilt f\xC3\xBCr die sechste. Die "
           "\xC3\xBC"
           "brigen bleiben in der Datei, wie sie sind.";
}

// ---- Presets and the window ---------------------------------------------------------------------

std::string PowerNoNumber(std::string_view text) {
    return "Das Feld Leistung enth\xC3\xA4lt keine Zahl: \"" + Str(text) + "\"";
}

std::string NotOpened(const std::vector<std::string>& paths) {
    std::string text =
        "Nur die erste Datei wurde ge\xC3\xB6"
        "ffnet. Nicht ge\xC3\xB6"
        "ffnet:";
    for (const std::string& path : paths) text += "\r\n" + path;
    return text;
}

constexpr std::string_view kStepNoMemory = "Nicht genug Arbeitsspeicher f\xC3\xBCr diesen Schritt.";

std::string UnexpectedFault(std::string_view what) {
    return "Unerwarteter Fehler: " + Str(what);
}

constexpr std::string_view kUnknownException = "unbekannte Ausnahme";

constexpr std::string_view kYes = "&Ja";
constexpr std::string_view kNo = "&Nein";

// ---- The gear chart "Getriebe" ------------------------------------------------------------------

constexpr std::string_view kChartTitle = "Getriebe";
constexpr std::string_view kGearTableName = "Gangtabelle";
constexpr std::string_view kChartPictureName = "Getriebediagramm";
constexpr std::array<std::string_view, 6> kGearColumns{"Gang",
                                                       "\xC3\x9C"
                                                       "bersetzung",
                                                       "km/h bei U1",
                                                       "km/h bei U2",
                                                       "km/h bei U3",
                                                       "U/min nach Hochschalten"};

constexpr std::string_view kChartNoMotor = "Kein Motor: kein Getriebe";
constexpr std::string_view kChartNoRatio =
    "Keine \xC3\x9C"
    "bersetzung angegeben: kein Getriebe";
constexpr std::string_view kChartNoRadius =
    "Treibradradius leer oder nicht gr\xC3\xB6\xC3\x9F"
    "er als 0: keine Geschwindigkeit";
constexpr std::string_view kChartNoU3 =
    "Grenzdrehzahl U3 leer oder nicht gr\xC3\xB6\xC3\x9F"
    "er als 0: keine Geschwindigkeit";
constexpr std::string_view kChartU3BelowOne =
    "Grenzdrehzahl U3 unter 1: zu klein f\xC3\xBCr ein Diagramm";

std::string ChartU3TooHigh(std::string_view maximum) {
    return "Grenzdrehzahl U3 \xC3\xBC"
           "ber " +
           Str(maximum) + ": zu gro\xC3\x9F f\xC3\xBCr ein Diagramm";
}

constexpr std::string_view kChartU1Outside = "Grenzdrehzahl U1 liegt nicht zwischen 0 und U3";
constexpr std::string_view kChartU2Outside = "Grenzdrehzahl U2 liegt nicht zwischen 0 und U3";

std::string RatioField(int ratioField) {
    return "\xC3\x9C"
           "bersetzung " +
           std::to_string(ratioField + 1);
}

std::string ChartRatioZero(int ratioField) {
    return RatioField(ratioField) + " ist leer oder 0: kein Getriebe";
}

std::string ChartRatioTooFast(int ratioField, std::string_view maximum) {
    return RatioField(ratioField) +
           " ergibt \xC3\xBC"
           "ber " +
           Str(maximum) + " km/h: zu gro\xC3\x9F f\xC3\xBCr ein Diagramm";
}

std::string ChartRatioTooSlow(int ratioField) {
    return RatioField(ratioField) + " ergibt unter 0.01 km/h: zu klein f\xC3\xBCr ein Diagramm";
}

constexpr std::string_view kChartNoRoom = "Zu wenig Platz f\xC3\xBCr das Diagramm";

constexpr std::string_view kAxisRevolutions = "U/min";
constexpr std::string_view kAxisForward = "vorw\xC3\xA4rts km/h";
constexpr std::string_view kAxisReverse =
    "r\xC3\xBC"
    "ckw\xC3\xA4rts km/h";

std::string Gears(std::size_t count) {
    return count == 1 ? "1 Gang" : std::to_string(count) + " G\xC3\xA4nge";
}

std::string ForwardUpTo(std::string_view speed) {
    return ", vorw\xC3\xA4rts bis " + Str(speed) + " km/h";
}

constexpr std::string_view kNoForwardGear = ", kein Vorw\xC3\xA4rtsgang";

std::string ReverseUpTo(std::string_view speed) {
    return ", r\xC3\xBC"
           "ckw\xC3\xA4rts bis " +
           Str(speed) + " km/h";
}

constexpr std::string_view kNoReverseGear =
    ", kein R\xC3\xBC"
    "ckw\xC3\xA4rtsgang";
constexpr std::string_view kNoGap =
    ", keine L\xC3\xBC"
    "cke";

std::string Gaps(std::size_t count) {
    if (count == 1)
        return ", 1 L\xC3\xBC"
               "cke: ";
    return ", " + std::to_string(count) +
           " L\xC3\xBC"
           "cken: ";
}

std::string Gap(std::string_view from, std::string_view to) {
    return Str(from) + " bis " + Str(to) + " km/h";
}

constexpr std::string_view kChartMenuItem = "Getriebediagramm\xE2\x80\xA6\tStrg+G";
constexpr std::string_view kCopyTableMenuItem = "Tabelle kopieren\tStrg+C";
constexpr std::string_view kSaveSvgButton = "Als SVG speichern\xE2\x80\xA6";
constexpr std::string_view kSaveSvgTitle = "Als SVG speichern";
constexpr std::string_view kSvgDefaultName = "Getriebe.svg";
constexpr std::string_view kSvgFilter = "SVG-Bilder (*.svg)";

std::string WithNumber(std::string_view reason, int number) {
    return Str(reason) + " (Nummer: " + std::to_string(number) + ")";
}

std::string SvgNotSaved(std::string_view path, std::string_view reason) {
    return "Das Bild wurde nicht gespeichert:\n" + Str(path) + "\n" + Str(reason);
}

}  // namespace quorvel::texts
