#pragma once

#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "EditorState.h"
#include "FieldEvents.h"

// The window's controls as data: the one description both windows are built from and
// the tests compare against. Positions and sizes are in twips (1/1440 inch), measured
// from the top left of the container's inner area.
namespace quorvel {

inline constexpr std::string_view kFormName = "frm_Quorvel";
inline constexpr std::string_view kFormCaption = "Eigenschaften Rollmaterial";
inline constexpr int kClientWidth = 8385;  // twips
inline constexpr int kClientHeight = 3525;
// The grey background of tx_Datei, red, green, blue.
inline constexpr int kPathBackground[3] = {192, 192, 192};

enum class ControlKind { Button, Field, Frame, Label, Option };
// The picture a button shows; the icons of the project's icon script.
enum class Picture { None, Open, Save };
// What a click on a button or a choice of an option runs.
enum class Command { None, Open, Save, Restore, Steam, ElectricDiesel, City, Wagon, Other };

struct Control {
    std::string_view name;  // tx_ueber members are tx_ueber_0 .. tx_ueber_5
    ControlKind kind;
    std::string_view container;  // kFormName or a frame's name
    std::string_view caption;
    int left, top, width, height;
    int tab;  // place in the focus order, 0 first
    std::string_view tooltip;
    bool centred;
    Picture picture;
    // The state member a field shows (index for tx_ueber), the option a choice
    // selects, the command a click runs; what a screen reader reads for a field or an
    // option (an option's is the caption of the label to its right).
    Field field;
    int index;
    TypeOption option;
    Command command;
    std::string_view accessible;
};

// All 46 controls, frames before what they hold.
std::span<const Control> Controls();
// nullptr for a name the window does not have.
const Control* FindControl(std::string_view name);

// The order the controls are made in, which is also the order the Tab key visits
// them: each container at the place of the first control it holds that takes the
// focus, its contents after it by their Tab column, those that take the focus first,
// each field right after the label that names it (a screen reader names a field after
// the label just before it).
std::vector<const Control*> CreationOrder();
// The label that names a field or an option (its caption is the control's accessible
// name, in the same frame); nullptr when no label does.
const Control* LabelOf(const Control& control);

// Twips as pixels at the given dots per inch, rounded half away from zero; with a
// scale, the layout's twips all grown by that one factor first.
int Pixels(int twips, int dpi);
int Pixels(int twips, int dpi, double scale);

// Fitting the captions into the layout whatever font the system has. A window measures
// every caption in its font; these rules decide the font's size and the layout's scale.
inline constexpr int kSmallestPoints = 7;  // smaller is no longer legible
struct TextExtent {
    int width = 0, height = 0;  // pixels, the text as the control's font draws it
};
struct LayoutFit {
    int points = 0;      // the font's size
    double scale = 1.0;  // every twip of the layout, the window's included, times this
};
// Whether a caption of that extent shows whole in its control, with the room the kind
// needs beside the text: a frame's caption is indented with a gap on either side, a
// field's text has a border above and below. Buttons and options show no caption.
bool CaptionFits(const Control& control, TextExtent text, int dpi, double scale);
// The largest size from points down to kSmallestPoints at which every caption fits the
// layout as it is; when none does, the smallest size with the layout grown by the least
// factor at which all fit (LayoutScale's, to whole pixels). measure(points) gives each
// control's caption extent at that size, in the order of Controls(). Never cuts a
// caption.
LayoutFit FitLayout(int points, int dpi,
                    const std::function<std::vector<TextExtent>(int points)>& measure);

// What a control shows of the state. Controls the state does not govern are visible
// and enabled, and hold no text.
const std::string* ShownText(const EditorState& state, const Control& control);
bool IsVisible(const EditorState& state, const Control& control);
bool IsEnabled(const EditorState& state, const Control& control);
bool IsChecked(const EditorState& state, const Control& control);
// Buttons and fields take the Tab key; of the options only the selected one (any of
// them while none is), so Tab enters the group at its choice.
bool IsTabStop(const EditorState& state, const Control& control);
// What a screen reader reads for the control: its accessible name, else its caption,
// else (a picture button) its tooltip.
std::string_view AccessibleName(const Control& control);
// What a screen reader reads after the name: a field's or an option's is the tooltip of
// the label that names it, any other control's its own tooltip.
std::string_view AccessibleDescription(const Control& control);

// The factor by which the whole layout grows so that every caption fits its control in
// the font the window is given; 1 when the table's sizes hold them. textWidth is a
// caption's width and lineHeight the font's line height, both in pixels at 96 dots per
// inch (the unit of Pixels(twips, 96)).
double LayoutScale(const std::function<int(std::string_view)>& textWidth, int lineHeight);
// Twips as pixels at 96 dots per inch in a layout grown by scale; Pixels(twips, 96) at 1.
int ScaledPixels(int twips, double scale);

}  // namespace quorvel
