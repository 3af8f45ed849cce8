#pragma once

// The user sequences every window runs: the same steps, field texts and file bytes
// for the toolkit-free form and for each toolkit's window. A window's test supplies a
// Driver that turns each step into its toolkit's real events.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Services.h"
#include "test_common.h"

namespace quorvel::sequences {

enum class Act {
    Open,         // click bu_open; the dialog chooses the copied example
    Load,         // the example named on the command line
    Click,        // a mouse click on the control
    Type,         // focus the field, select its text, type each character
    Enter,        // press and release Return in the field
    KeypadEnter,  // press and release the keypad's Enter in the field
    StrayEnter,   // only the release of a Return pressed elsewhere
    Borrow,       // another window takes the field's focus and gives it back
    SaveKeys,     // Ctrl+S where the focus is
    OpenKeys,     // Ctrl+O where the focus is; the dialog is cancelled
    Drop,         // the copied example dropped on the window
};

struct Step {
    Act act;
    std::string_view control = {};
    std::string_view text = {};
};

struct Sequence {
    std::string_view name;
    std::string_view example;  // copied to a temporary folder before the steps
    std::vector<Step> steps;
    // ';'-separated: "name=text" a control's text, "@name" the selected option,
    // "+name" / "-name" shown / hidden, "!name" disabled.
    std::string_view expect;
    // The saved file: the example with these replacements; none: unchanged.
    Replacements saved = {};
    bool backup = false;            // the "_Orig" copy holds the example
    std::string_view message = {};  // part of the one message shown; empty: none
    int dialogs = 0;                // times the open dialog was shown
};

// clang-format off
inline const std::vector<Sequence> kSequences{
    {"OpenPresetSpeedWithEnterSave", "elok.txt",
     {{Act::Open}, {Act::Click, "Opt_Elok"}, {Act::Type, "tx_VmaxV", "80"}, {Act::Enter, "tx_VmaxV"},
      {Act::Type, "tx_Treib", "65,5"}, {Act::Click, "bu_save"}},
     "tx_U1=1500;tx_ueber_5=13.3;tx_Treib=65.5;tx_VmaxV=84.21;@Opt_Elok;+Fra_Motor",
     {{"( 62 )", "( 65.5 )"}, {"( 9.0 )", "( 26.5 )"}, {"( 6.3 )", "( 19.9 )"}, {"( 3.6 )", "( 13.3 )"}},
     true, {}, 1},
    {"KeypadEnterRecalculates", "elok.txt",
     {{Act::Load}, {Act::Type, "tx_VMaxR", "50"}, {Act::KeypadEnter, "tx_VMaxR"}},
     "tx_ueber_0=-21.2;tx_VMaxR=50"},
    {"StrayReleaseAndBorrowedFocusRunNothing", "elok.txt",
     {{Act::Load}, {Act::Type, "tx_VMaxR", "50"}, {Act::StrayEnter, "tx_VMaxR"}, {Act::Borrow, "tx_VMaxR"}},
     "tx_ueber_0=-4.0;tx_VMaxR=50"},
    {"FocusLossNormalizesAndRecalculates", "elok.txt",
     {{Act::Load}, {Act::Type, "tx_VMaxR", "7,5"}, {Act::Type, "tx_Masse", "80,5"}, {Act::Click, "tx_BremsK"}},
     "tx_VMaxR=7.5;tx_ueber_0=-141.4;tx_Masse=80.5"},
    {"SteamPresetSaved", "dampflok.txt",
     {{Act::Open}, {Act::Click, "Opt_DLok"}, {Act::Click, "bu_save"}},
     "@Opt_DLok;tx_VMaxR=50", {{"( 110 )", "( 118 )"}, {"( -6.0 )", "( -12.2 )"}}, true, {}, 1},
    {"CityPresetSaved", "stadtbus.txt",
     {{Act::Load}, {Act::Click, "Opt_Stadt"}, {Act::Click, "bu_save"}},
     "@Opt_Stadt;tx_VMaxR=50;tx_VmaxV=50;-tx_ueber_4",
     {{"( -3.6 )", "( -2.9 )"}, {"( -5.4 )", "( -5.1 )"}, {"( 5.4 )", "( 5.1 )"}, {"( 3.6 )", "( 2.9 )"}}, true},
    {"WagonPresetSaved", "waggon.txt",
     {{Act::Load}, {Act::Click, "Opt_waggon"}, {Act::Click, "bu_save"}},
     "@Opt_waggon;-Fra_Motor", {}, true},
    {"OriginalBringsBackTheBackup", "elok.txt",
     {{Act::Load}, {Act::Type, "tx_Masse", "90000"}, {Act::Click, "bu_save"}, {Act::Click, "Opt_Zelmo"}},
     "tx_Masse=84000;@Opt_Zelmo", {{"( 84000 )", "( 90000 )"}}, true},
    {"UnsafeTextRefused", "waggon.txt",
     {{Act::Load}, {Act::Type, "tx_Masse", "22000 (leer)"}, {Act::Click, "bu_save"}},
     "tx_Masse=22000 (leer)", {}, false, "nicht gespeichert"},
    {"LabelsAndereAndPathRunNothing", "elok.txt",
     {{Act::Load}, {Act::Click, "lab_DLok"}, {Act::Click, "lab_Elok"}, {Act::Click, "lab_Zelmo"},
      {Act::Click, "Lab_Stadt"}, {Act::Click, "Opt_Andere"}, {Act::Type, "tx_Datei", "anderswo.txt"},
      {Act::Enter, "tx_Datei"}, {Act::Click, "tx_Masse"}},
     "tx_Datei=anderswo.txt;tx_BremsK=101;tx_U1=1500;@Opt_Andere"},
    {"SaveShortcutLeavesTheFieldFirst", "elok.txt",
     {{Act::Load}, {Act::Type, "tx_VMaxR", "50"}, {Act::SaveKeys}},
     "tx_ueber_0=-21.2;tx_VMaxR=50", {{"( -4.0 )", "( -21.2 )"}, {"( -6.0 )", "( -31.8 )"},
     {"( -8.0 )", "( -42.4 )"}}, true},
    {"OpenShortcutAndDroppedFile", "stadtbus.txt",
     {{Act::Drop}, {Act::Type, "tx_Treib", "60"}, {Act::OpenKeys}},
     "tx_Masse=12000;tx_Treib=60;tx_VmaxV=50.67;@Opt_Andere;-Fra_Motor", {}, false, {}, 1},
    {"DisabledOptionsAtStart", "",
     {{Act::Click, "Opt_DLok"}, {Act::Click, "Opt_Elok"}},
     "@Opt_Andere;-Fra_Motor;+tx_Masse;!Opt_DLok;!Opt_Elok;tx_Masse=;tx_Datei="},
};
// clang-format on

// The platform the windows get in these tests besides the shared number format and sink:
// an open dialog that returns `chosen`, no registered host.
struct Dialog : FileDialog {
    std::string chosen;
    int shown = 0;
    bool fails = false;  // throws, as a platform call that breaks would
    std::string ShowOpenDialog(const std::string&, std::uint32_t,
                               const std::optional<std::string>&) override {
        ++shown;
        if (fails) throw std::runtime_error("kaputt");
        return chosen;
    }
};
struct NoHost : HostLookup {
    std::string RollingStockFolder() override { return {}; }
};

// The events a window test turns into its toolkit's own.
class Driver {
  public:
    virtual ~Driver() = default;
    virtual void Act(const Step& step, const std::string& path) = 0;
    virtual std::string Text(const std::string& control) = 0;
    virtual bool Shown(const std::string& control) = 0;
    virtual bool Selected(const std::string& control) = 0;
    virtual bool Enabled(const std::string& control) = 0;
};

// The example's copy in folder, or empty text when the sequence starts without a file.
inline std::string CopyExample(const Sequence& s, const std::filesystem::path& folder) {
    if (s.example.empty()) return {};
    // A folder per sequence, so that no backup of an earlier one is found.
    std::filesystem::create_directories(folder / s.name);
    const auto path = folder / s.name / s.example;
    std::filesystem::copy_file(std::filesystem::path(QUORVEL_EXAMPLES) / s.example, path,
                               std::filesystem::copy_options::overwrite_existing);
    return path.string();
}

// Runs the steps and checks the controls and the file. messages: what the window showed.
inline void Check(Driver& driver, const Sequence& s, const std::string& path,
                  const std::vector<std::string>& messages, const int& dialogs) {
    for (const Step& step : s.steps) driver.Act(step, path);
    std::string_view expect = s.expect;
    while (!expect.empty()) {
        const std::size_t end = std::min(expect.find(';'), expect.size());
        const std::string item(expect.substr(0, end));
        expect.remove_prefix(std::min(end + 1, expect.size()));
        if (item[0] == '@') {
            EXPECT_TRUE(driver.Selected(item.substr(1))) << item;
        } else if (item[0] == '!') {
            EXPECT_FALSE(driver.Enabled(item.substr(1))) << item;
        } else if (item[0] == '+' || item[0] == '-') {
            EXPECT_EQ(driver.Shown(item.substr(1)), item[0] == '+') << item;
        } else {
            const std::size_t eq = item.find('=');
            EXPECT_EQ(item.substr(0, eq) + "=" + driver.Text(item.substr(0, eq)), item);
        }
    }
    EXPECT_EQ(dialogs, s.dialogs);
    ASSERT_EQ(messages.size(), s.message.empty() ? 0u : 1u);
    EXPECT_TRUE(s.message.empty() || messages[0].find(s.message) != std::string::npos);
    if (path.empty()) return;
    const std::string original = Bytes(std::filesystem::path(QUORVEL_EXAMPLES) / s.example);
    EXPECT_EQ(Bytes(path), Replaced(original, s.saved));
    EXPECT_EQ(std::filesystem::exists(path + "_Orig"), s.backup);
    EXPECT_EQ(s.backup ? Bytes(path + "_Orig") : original, original);
}

// Every sequence on a fresh window: fresh() makes it and gives its driver, sink and dialog.
template <typename Fresh>
void CheckAll(const std::filesystem::path& folder, Fresh fresh) {
    for (const Sequence& s : kSequences) {
        SCOPED_TRACE(std::string(s.name));
        auto [driver, sink, dialog] = fresh();
        Check(*driver, s, CopyExample(s, folder), sink->shown, dialog->shown);
    }
}

// The Tab order from bu_open, without a file and with one that shows the motor frame.
inline const std::string kTabsBare =
    "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK Opt_Andere";
inline const std::string kTabsMotor =
    "bu_open bu_save tx_Datei tx_Masse tx_BremsK tx_ReibK tx_Leistung tx_U1 tx_U2 tx_U3 "
    "tx_Treib tx_ueber_0 tx_ueber_1 tx_ueber_2 tx_ueber_3 tx_VMaxR tx_VmaxV Opt_Andere";

}  // namespace quorvel::sequences
