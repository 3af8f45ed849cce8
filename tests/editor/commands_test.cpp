#include <gmock/gmock.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>

#include "Commands.h"
#include "EditorTest.h"
#include "FieldEvents.h"
#include "InitEditor.h"
#include "Presets.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::Texts;
using ::testing::ElementsAre;
using ::testing::StartsWith;

std::string Gears(std::initializer_list<const char*> ratios) {
    std::string text;
    for (const char* r : ratios)
        text += "\tGang{\r\n\t\tUebersetzung ( " + std::string(r) + " ) \r\n\t}\r\n";
    return text;
}
// clang-format off
const std::string kHead = "Masse ( 84000 ) \r\nBremskraft ( 90 ) \r\nReibungskraft ( 15 ) \r\n";
const std::string kMotor = "Motor{\r\n\tLeistung ( 3600 ) \r\n\tGrenzdrehzahl_U1 ( 1000 ) \r\n"
    "\tGrenzdrehzahl_U2 ( 3000 ) \r\n\tGrenzdrehzahl_U3 ( 4000 ) \r\n\tTreibradradius ( 62 ) \r\n";
// clang-format on
const std::string kLoco =
    kHead + kMotor + Gears({"-4.0", "-6.0", "-8.0", "9.0", "6.3", "3.6"}) + "}\r\n";

using Edits = std::vector<std::pair<std::string, std::string>>;
std::string Replaced(std::string text, const Edits& edits) {
    for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
    return text;
}

// The fixture also plays the open dialog and the host lookup.
class Commands : public ::testing::Test, public FileDialog, public HostLookup {
  protected:
    std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                               const std::optional<std::string>& folder) override {
        calls.push_back(filter + "|" + std::to_string(flags) + "|" + folder.value_or("<none>"));
        return answer;
    }
    std::string RollingStockFolder() override { return ++hostCalls, hostFolder; }
    void SetUp() override {
        std::random_device random;
        do dir = fs::temp_directory_path() / ("commands_" + std::to_string(random()));
        while (!fs::create_directory(dir));
        InitEditor(state);
    }
    void TearDown() override {
        for (const auto& entry : fs::directory_iterator(dir))  // Windows deletes no read-only file
            fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add);
        fs::remove_all(dir);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    static std::string Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Save() {
        sink.shown.clear();
        SaveCommand(state, services);
    }
    fs::path dir;
    test::Format format{".", ","};
    test::Sink sink;
    std::vector<std::string> calls;
    std::string answer, hostFolder;
    int hostCalls = 0;
    Services services{format, sink, *this, *this};
    EditorState state;
};

TEST_F(Commands, OpenPresetTypeSpeedSaveAndRestore) {
    EXPECT_TRUE(state.selected == TypeOption::Opt_Andere && state.Opt_waggon_enabled);
    EXPECT_FALSE(state.Opt_DLok_enabled || state.Opt_Elok_enabled || state.Fra_Motor_visible);
    const std::string path = answer = Write("Lok.txt", kLoco);
    OpenCommand(state, services);
    const std::string loaded = Texts(state);
    // clang-format off
    EXPECT_EQ(loaded, path + "|84000|90|15|3600|1000 3000 4000|62|235.60 261.78|-4.0 -6.0 -8.0 9.0 6.3 3.6");
    PresetElectricDiesel(state, format, sink);
    state.tx_VmaxV = "120";
    OnKeyRelease(state, Field::tx_VmaxV, kKeyEnter);
    Save();
    EXPECT_EQ(Bytes(path), Replaced(kLoco, {{"( 90 )", "( 101 )"}, {"( 15 )", "( 21 )"}, {"( 1000 )", "( 1500 )"},
        {"( 4000 )", "( 4500 )"}, {"( 3000 )", "( 4000 )"}, {"( 9.0 )", "( 17.6 )"}, {"( 6.3 )", "( 13.2 )"},
        {"( 3.6 )", "( 8.8 )"}}));
    // clang-format on
    EXPECT_EQ(Bytes(path + "_Orig"), kLoco);
    RestoreOriginal(state, services);
    EXPECT_EQ(Texts(state), loaded);
    Save();  // the restored values reach the file; the backup stays
    EXPECT_EQ(Bytes(path) + Bytes(path + "_Orig"), kLoco + kLoco);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(Commands, OpenStartsInLastFolderElseHostFolderAndCancelKeepsTheFile) {
    OpenCommand(state, services);  // host not registered: the empty folder is still passed
    hostFolder = "C:\\Zelmo\\Resourcen\\Rollmaterial";
    const std::string path = answer = Write("Lok.txt", kLoco);
    OpenCommand(state, services);
    const std::string loaded = Texts(state);
    const Entries entries = state.Entries;
    state.selected = TypeOption::Opt_Elok;
    answer = "";
    OpenCommand(state, services);
    const std::string given = kOpenFilter + "|6144|";
    EXPECT_THAT(calls, ElementsAre(given, given + hostFolder, given + dir.string()));
    EXPECT_EQ(hostCalls, 2);
    EXPECT_EQ(Texts(state), loaded);
    EXPECT_TRUE(state.Entries == entries && state.LastFolder == dir.string());
    EXPECT_FALSE(state.vehicle.HasMotor || state.Fra_Motor_visible || state.Opt_waggon_enabled);
    EXPECT_TRUE(state.Opt_DLok_enabled && state.Opt_Elok_enabled &&
                state.selected == TypeOption::Opt_Andere);
    state.tx_Masse = "85000";  // without a motor only the rolling-stock fields are saved
    state.tx_Leistung = state.tx_ueber[0] = "1";
    Save();
    EXPECT_EQ(Bytes(path), Replaced(kLoco, {{"84000", "85000"}}));
}

// Each file is opened after the locomotive; then tx_ueber(1) = "-7.0" and tx_ueber(5) = "5.0"
// are saved.
TEST_F(Commands, ShowsAndSavesWhatTheFileHas) {
    // clang-format off
    const struct { std::string file, texts, visible; bool motor; Edits saved; } cases[] = {
        {kHead + kMotor + Gears({"-4.0", "-6.0", "2.0", "3.0"}) + "\tGang{\r\n\t}\r\n\tGang{\r\n\t}\r\n}\r\n",
         "|84000|90|15|3600|1000 3000 4000|62|235.60 314.13|-4.0 -6.0 2.0 3.0 6.3 3.6", "111100", true,
         {{"-6.0", "-7.0"}}},
        // No Reibungskraft: the field keeps its text. Both "Masse" take the field.
        {"Masse ( 20000 ) \r\nBremskraft ( 2,5 ) \r\nMasse ( 21000 ) \r\n",
         "|21000|2,5|15|3600|1000 3000 4000|62|235.60 261.78|-4.0 -6.0 -8.0 9.0 6.3 3.6", "111111", false,
         {{"20000", "21000"}}},
        // A seventh ratio is neither shown nor saved.
        {kHead + kMotor + Gears({"-4.0", "-5.0", "-8.0", "9.0", "6.3", "4.0", "2.0"}) + "}\r\n",
         "|84000|90|15|3600|1000 3000 4000|62|235.60 235.60|-4.0 -5.0 -8.0 9.0 6.3 4.0", "111111", true,
         {{"-5.0", "-7.0"}, {"( 4.0 )", "( 5.0 )"}}},
        {kHead + kMotor + "}\r\n", "|84000|90|15|3600|1000 3000 4000|62| |-4.0 -6.0 -8.0 9.0 6.3 3.6",
         "000000", true, {}}};
    // clang-format on
    for (const auto& c : cases) {
        answer = Write("Lok.txt", kLoco);
        OpenCommand(state, services);
        answer = Write("Neu.txt", c.file);
        OpenCommand(state, services);  // clears HasMotor before the file sets it
        std::string visible;
        for (bool v : state.tx_ueber_visible) visible += v ? '1' : '0';
        EXPECT_EQ(Texts(state).substr(state.tx_Datei.size()) + " " + visible,
                  c.texts + " " + c.visible);
        EXPECT_TRUE(state.Fra_Motor_visible == c.motor && state.Opt_Elok_enabled == c.motor &&
                    state.Opt_waggon_enabled != c.motor);
        state.tx_ueber[5] = "5.0";
        state.tx_ueber[1] = "-7.0";
        Save();
        EXPECT_EQ(Bytes(state.tx_Datei), Replaced(c.file, c.saved));
    }
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(Commands, RefusesTextsTheFileCannotHold) {
    const auto Quoted = [](const std::string& text) {
        return "\xE2\x80\x9E" + text + "\xE2\x80\x9C";
    };
    // clang-format off
    const struct { Field field; int index; const char *text, *label; std::string character; } cases[] = {
        {Field::tx_Masse, 0, "80(0", "Masse", Quoted("(")},
        {Field::tx_Treib, 0, "6}", "Treibradradius", Quoted("}")},
        {Field::tx_U1, 0, "1\t5", "Grenzdrehzahl U1", "Tabulator"},
        {Field::tx_ueber, 1, "-5,\xC3\xA4", "\xC3\x9C" "bersetzung 2", Quoted("\xC3\xA4")},
        {Field::tx_BremsK, 0, "1\x7F", "Bremskraft", "Steuerzeichen Nr. 127"},
        {Field::tx_ReibK, 0, "\xE4", "Reibungskraft", "Byte 228"}};
    // clang-format on
    for (const auto& c : cases) {
        const std::string path = Write("Lok.txt", kLoco);
        OpenPath(state, services, path);
        const Entries entries = state.Entries;
        *FieldText(state, c.field, c.index) = c.text;
        Save();
        const std::string said = "Quorvel|48|Die Datei wurde nicht gespeichert.\r\nDas Feld " +
                                 Quoted(c.label) + " enth\xC3\xA4lt ein Zeichen, das die Datei " +
                                 "nicht aufnehmen kann: " + c.character + "\r\n";
        EXPECT_THAT(sink.shown, ElementsAre(StartsWith(said)));
        EXPECT_TRUE(Bytes(path) == kLoco && !fs::exists(path + "_Orig") &&
                    state.Entries == entries);
    }
    // Texts that no entry takes are not written, so they cannot harm the file.
    OpenPath(state, services, Write("Waggon.txt", "Masse ( 20000 ) \r\n"));
    state.tx_BremsK = state.tx_Leistung = "(";
    Save();
    EXPECT_TRUE(sink.shown.empty() && fs::exists(state.tx_Datei + "_Orig"));
}

TEST_F(Commands, FailedSaveAndRestoreWithoutFile) {
    const std::string missing = (dir / "fehlt" / "Lok.txt").string();
#ifdef _WIN32  // path not found, access denied
    const char *noFolder = "3", *noPath = "3", *readOnly = "5";
    const bool rootWritesAnyway = false;
#else
    const char *noFolder = "2", *noPath = "2", *readOnly = "13";
    const bool rootWritesAnyway = ::geteuid() == 0;
#endif
    std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "Fehler beim Speichern von " + missing + "\r\nNummer: " + noFolder},
        {"", "Fehler beim Speichern\r\nNummer: " + std::string(noPath)}};
    if (!rootWritesAnyway) {  // on Windows: the read-only attribute
        const std::string path = Write("Schreibgeschuetzt.txt", kLoco);
        fs::permissions(path, fs::perms::owner_read);
        cases.push_back({path, "Fehler beim Speichern von " + path + "\r\nNummer: " + readOnly});
    }
    for (const auto& [path, said] : cases) {
        OpenPath(state, services, Write("Lok.txt", kLoco));
        state.tx_Datei = path;
        Save();
        EXPECT_THAT(sink.shown, ElementsAre(StartsWith("Quorvel|16|" + said + "\r\nFehler: ")));
        EXPECT_TRUE(path.empty() || !fs::exists(path) || Bytes(path) == kLoco);
    }
    // Nothing read in full, whether nothing was loaded yet or the last load failed: a
    // save would write the empty list over the file, so it is refused.
    const std::string lok = Write("Lok.txt", kLoco);
    for (const bool loadFirst : {false, true}) {
        state = {};
        if (loadFirst) OpenPath(state, services, lok), OpenPath(state, services, missing);
        state.tx_Datei = lok;
        Save();
        EXPECT_THAT(sink.shown, ElementsAre(StartsWith("Quorvel|48|Nicht gespeichert")));
        EXPECT_TRUE(Bytes(lok) == kLoco && !fs::exists(lok + "_Orig"));
    }
    state.tx_Datei.clear();
    const std::string before = Texts(state);
    sink.shown.clear();
    RestoreOriginal(state, services);
    EXPECT_THAT(sink.shown, ElementsAre("Quorvel|48|Datei nicht gefunden"));
    EXPECT_EQ(Texts(state), before);
    state.tx_Datei = lok;  // no backup: the file itself is read again
    state.tx_Masse = "1";
    RestoreOriginal(state, services);
    EXPECT_EQ(state.tx_Masse + "|" + state.tx_Datei, "84000|" + lok);
}

}  // namespace
}  // namespace quorvel
