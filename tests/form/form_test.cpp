#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <tuple>

#include "Form.h"
#include "user_sequences.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using sequences::Act;

// Counts the shows; can run a hook inside one, as a toolkit's signal would.
struct View : FormView {
    int shows = 0;
    std::function<void()> during;
    void Show(const EditorState&) override {
        ++shows;
        if (during) during();
    }
};

const Control& Named(std::string_view name) {
    const Control* c = FindControl(name);
    if (c == nullptr) throw std::invalid_argument(std::string(name));
    return *c;
}

class FormTest : public testing::Test, public sequences::Driver {
  protected:
    void SetUp() override {
        sink.shown.clear();
        dialog.shown = 0;
        focused = nullptr;
        form = std::make_unique<Form>(Services{format, sink, dialog, host}, view);
        form->Load();
    }

    // The user's events as a toolkit reports them: focus moves by click, each
    // character is a press, a text change and a release.
    void Focus(const Control* c) {
        if (focused != nullptr && focused != c && focused->kind == ControlKind::Field)
            form->FocusLost(*focused, FocusTarget::ThisWindow);
        if (c->kind != ControlKind::Label && c->kind != ControlKind::Frame) focused = c;
    }
    void Act(const sequences::Step& step, const std::string& path) override {
        const Control* c = step.control.empty() ? nullptr : &Named(step.control);
        switch (step.act) {
            case Act::Open:
                dialog.chosen = path;
                Focus(&Named("bu_open"));
                form->Clicked(Named("bu_open"));
                break;
            case Act::Load:
                form->OpenGiven(path);
                break;
            case Act::Click:
                Focus(c);
                form->Clicked(*c);
                break;
            case Act::Type: {
                Focus(c);
                std::string text;
                for (char ch : step.text) {
                    form->KeyPressed(*c, static_cast<unsigned char>(ch), false);
                    form->TextEdited(*c, text += ch);
                    form->KeyReleased(*c, static_cast<unsigned char>(ch), ch, false);
                }
                break;
            }
            case Act::Enter:
            case Act::KeypadEnter: {
                const std::uint64_t key = step.act == Act::Enter ? 28 : 0x11C;
                form->KeyPressed(*c, key, false);
                form->KeyReleased(*c, key, 13, false);
                break;
            }
            case Act::StrayEnter:
                form->KeyReleased(*c, 28, 13, false);
                break;
            case Act::SaveKeys:
            case Act::OpenKeys:
                dialog.chosen = "";
                form->Shortcut(step.act == Act::SaveKeys ? Command::Save : Command::Open, focused);
                break;
            case Act::Drop:
                form->OpenFile(path, focused);
                break;
            case Act::Borrow:
                form->FocusLost(*c, FocusTarget::OtherWindow);
                form->FocusLost(*c, FocusTarget::Popup);
                break;
        }
    }
    std::string Text(const std::string& name) override {
        return *ShownText(form->state(), Named(name));
    }
    bool Shown(const std::string& name) override {
        const Control& c = Named(name);
        return IsVisible(form->state(), c) &&
               (c.container == kFormName || IsVisible(form->state(), Named(c.container)));
    }
    bool Selected(const std::string& name) override {
        return IsChecked(form->state(), Named(name));
    }
    bool Enabled(const std::string& name) override { return IsEnabled(form->state(), Named(name)); }

    TempFolder folder;
    const fs::path& dir = folder.path;
    FakeFormat format{".", ","};
    RecordingSink sink;
    sequences::Dialog dialog;
    sequences::NoHost host;
    View view;
    std::unique_ptr<Form> form;
    const Control* focused = nullptr;
};

TEST(ControlTable, OneRowPerControlMadeInTabOrder) {
    std::set<std::string_view> names, made;
    std::set<int> tabs;
    std::vector<int> focus;
    const Control* before = nullptr;
    int named = 0;
    for (const Control* c : CreationOrder()) {
        SCOPED_TRACE(std::string(c->name));
        EXPECT_TRUE(names.insert(c->name).second && tabs.insert(c->tab).second);
        EXPECT_TRUE(c->container == kFormName || made.count(c->container)) << "frame first";
        made.insert(c->name);
        EXPECT_EQ(c->kind == ControlKind::Field, ShownText(EditorState{}, *c) != nullptr);
        EXPECT_EQ(c->kind == ControlKind::Option, c->option != TypeOption::None);
        EXPECT_EQ(c->kind == ControlKind::Button, c->picture != Picture::None);
        if (c->kind == ControlKind::Option) {
            // A bare mark, named for a screen reader by the label to its right.
            const auto label = std::find_if(Controls().begin(), Controls().end(), [&](auto& l) {
                return l.container == c->container && l.top == c->top && l.left == c->left + 360;
            });
            ASSERT_NE(label, Controls().end());
            EXPECT_EQ(AccessibleName(*c), label->caption);
        }
        if (IsTabStop(EditorState{}, *c) && c->kind != ControlKind::Option) focus.push_back(c->tab);
        // A screen reader names a field after the label made just before it.
        if (const Control* label = c->kind == ControlKind::Field ? LabelOf(*c) : nullptr) {
            EXPECT_EQ(label, before);
            EXPECT_EQ(label->caption, AccessibleName(*c));
            ++named;
        }
        before = c;
    }
    EXPECT_EQ(named, 8);
    EXPECT_TRUE(*tabs.begin() == 0 && *tabs.rbegin() + 1 == int(names.size())) << "0 to n-1";
    EXPECT_TRUE(std::is_sorted(focus.begin(), focus.end()));
    EXPECT_EQ(Pixels(255, 144), 26);  // 25.5 rounds up, as MulDiv does
}

// Captions measured in a font of fixed width per byte and height per point; the fit is
// the largest size, then the least growth, at which every caption fits.
TEST(ControlTable, FitLayoutShrinksTheFontThenGrowsTheLayout) {
    // clang-format off
    const struct { int points, dpi, pixelsPerByte, fitPoints; bool grown; } cases[] = {
        {8, 96, 5, 8, false},   // fits as it is
        {9, 96, 6, 8, false},   // one point smaller fits
        {8, 96, 6, 7, false},   // the smallest size fits
        {8, 96, 7, 7, true},    // "Original" needs 48 pixels in 41: the layout grows
        {6, 96, 7, 6, true},    // a font already below the smallest is not shrunk
        {8, 144, 8, 7, false},  // the same at 144 dots per inch
        {8, 144, 9, 7, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + " pt " + std::to_string(c.pixelsPerByte));
        auto measure = [&](int points) {
            std::vector<TextExtent> extents;
            for (const Control& control : Controls())
                extents.push_back(
                    {(c.pixelsPerByte - (c.points - points)) * int(control.caption.size()),
                     points * c.dpi / 72});
            return extents;
        };
        auto fits = [&](int points, double scale) {
            const std::vector<TextExtent> extents = measure(points);
            for (std::size_t i = 0; i < extents.size(); ++i)
                if (!CaptionFits(Controls()[i], extents[i], c.dpi, scale)) return false;
            return true;
        };
        const LayoutFit fit = FitLayout(c.points, c.dpi, measure);
        EXPECT_EQ(fit.points, c.fitPoints);
        EXPECT_EQ(fit.scale > 1.0, c.grown);
        EXPECT_TRUE(fits(fit.points, fit.scale));
        EXPECT_TRUE(fit.points == c.points || !fits(fit.points + 1, 1.0)) << "largest size";
        EXPECT_TRUE(!c.grown || !fits(fit.points, fit.scale * 0.98)) << "least growth";
    }
}

TEST_F(FormTest, UserSequences) {
    sequences::CheckAll(dir, [&] { return SetUp(), std::tuple(this, &sink, &dialog); });
}

TEST_F(FormTest, EveryReactionShowsTheStateOnceAndOnlyOneRunsAtATime) {
    const int before = view.shows;
    form->OpenPath(sequences::CopyExample(sequences::kSequences[0], dir));
    EXPECT_EQ(view.shows, before + 1);
    // A toolkit that reports the program's own writes as user events runs nothing.
    const Control& vmax = Named("tx_VMaxR");
    view.during = [&] {
        form->TextEdited(vmax, "7");
        form->KeyPressed(vmax, 28, false);
        form->KeyReleased(vmax, 28, 13, false);
        form->FocusLost(vmax, FocusTarget::ThisWindow);
        form->Clicked(Named("Opt_Stadt"));
    };
    form->Clicked(Named("Opt_Elok"));
    view.during = nullptr;
    EXPECT_EQ(form->state().selected, TypeOption::Opt_Elok);
    EXPECT_EQ(Text("tx_ueber_0"), "-4.0");
    // Auto-repeated presses and releases count for nothing, the last release does; a
    // disabled option only shows the state again.
    const int shows = view.shows;
    form->KeyPressed(vmax, 28, false);
    form->KeyReleased(vmax, 28, 13, true);
    form->KeyPressed(vmax, 28, true);
    EXPECT_EQ(view.shows, shows);
    form->KeyReleased(vmax, 28, 13, false);
    form->Clicked(Named("Opt_waggon"));
    EXPECT_EQ(view.shows, shows + 2);
    EXPECT_EQ(form->state().selected, TypeOption::Opt_Elok);
}

// Files named on the command line: the first opened, the others named, all absolute and
// clean however they were written.
TEST_F(FormTest, CommandLineOpensTheFirstAndNamesTheOthers) {
    fs::create_directories(dir / "sub");
    fs::copy_file(fs::path(QUORVEL_EXAMPLES) / "waggon.txt", dir / "w.txt");
    const std::string sub = (dir / "sub").string(), up = (dir / "sub" / "..").string();
    const std::string w = (dir / "w.txt").string(), b = (dir / "b.txt").string();
    const std::string notice =
        "Quorvel|64|Nur die erste Datei wurde ge\u00F6ffnet. Nicht ge\u00F6ffnet:";
    // clang-format off
    const struct { std::vector<std::string> arguments; std::string shown, message; } cases[] = {
        {{}, "", ""}, {{"./../w.txt"}, w, ""},
        {{"../w.txt", "./x/../../b.txt"}, w, notice + "\r\n" + b},
        {{up + "/./w.txt", "../b.txt", b}, w, notice + "\r\n" + b + "\r\n" + b}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        SetUp();
        form->OpenArguments(c.arguments, sub);
        EXPECT_EQ(Text("tx_Datei"), c.shown);
        EXPECT_EQ(sink.shown, std::vector(c.message.empty() ? 0u : 1u, c.message));
    }
    // Without a folder given, the process's working folder.
    SetUp();
    form->OpenArguments({"nix.txt"});
    EXPECT_EQ(Text("tx_Datei"), (fs::current_path() / "nix.txt").string());
}

TEST_F(FormTest, AnExceptionBecomesTheCriticalMessage) {
    // In the reaction, and in showing its result.
    dialog.fails = true;
    form->Clicked(Named("bu_open"));
    EXPECT_EQ(form->state().selected, TypeOption::Opt_Andere);
    view.during = [&] { view.during = nullptr, throw std::bad_alloc(); };
    form->Clicked(Named("Opt_Andere"));
    EXPECT_EQ(sink.shown, (std::vector<std::string>{
                              "Quorvel|16|Unerwarteter Fehler: kaputt",
                              "Quorvel|16|Nicht genug Arbeitsspeicher f\u00FCr diesen Schritt."}));
}

}  // namespace
}  // namespace quorvel
