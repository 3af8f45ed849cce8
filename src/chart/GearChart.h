#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EditorState.h"

// The gear chart "Getriebe": what the present field texts say about the gearbox, as a
// table and as a picture in plain data. It reads the fields as the calculation does (the
// leading number of each text, K = radius x U3 x 0.0038, speed = |K / ratio| km/h) and
// never writes one. Both windows paint the display list as it comes and show the table;
// neither computes anything of its own.
namespace quorvel {

// One row of the table; the texts are what the user sees and copies.
struct GearRow {
    bool reverse = false;  // the ratio is negative
    double ratio = 0;
    double atU1 = 0, atU2 = 0, atU3 = 0;  // km/h, always positive
    // The revolutions of the next faster forward gear at this gear's top speed; none for
    // reverse gears and for the fastest forward gear.
    std::optional<double> afterShift;
    // Gang, Übersetzung, km/h bei U1, km/h bei U2, km/h bei U3, U/min nach Hochschalten.
    std::array<std::string, 6> cells;
};

inline constexpr std::array<std::string_view, 6> kGearColumns{
    "Gang", "Übersetzung", "km/h bei U1", "km/h bei U2", "km/h bei U3", "U/min nach Hochschalten"};

// Speeds between two forward gears where neither runs between U1 and U3.
struct SpeedGap {
    double from = 0, to = 0;  // km/h
};

struct GearChart {
    // Not empty when there is nothing to draw: the German line shown instead, which names
    // the cause. rows and gaps are then empty.
    std::string problem;
    double u1 = 0, u2 = 0, u3 = 0;
    // Reverse gears slowest first ("R1", "R2", ...), then forward gears slowest first.
    std::vector<GearRow> rows;
    std::vector<SpeedGap> gaps;
    // One sentence for screen readers, e.g. "6 Gänge, vorwärts bis 118.75 km/h,
    // rückwärts bis 50.00 km/h, keine Lücke"; the problem when there is one.
    std::string description;
};

// The chart for the ratio fields the main window shows (at most six).
GearChart ComputeGearChart(const EditorState& state);

// The table with a header line, cells separated by tabs, each line ended by `newline`;
// the problem line alone when there is one.
std::string GearTableText(const GearChart& chart, std::string_view newline = "\n");

// ---- The picture as plain data --------------------------------------------------------

// Colours are given by what they mean; the window picks the colours (see ChartColours).
enum class ChartRole : std::uint8_t { Background, Axis, Grid, Forward, Reverse, Mark, Gap, Text };
inline constexpr int kChartRoles = 8;

struct ChartPoint {
    double x = 0, y = 0;  // pixels from the top left corner
};
struct ChartLine {
    ChartPoint from, to;
    ChartRole role = ChartRole::Axis;
    double width = 1;
    bool dashed = false;
};
struct ChartPolyline {
    std::vector<ChartPoint> points;
    ChartRole role = ChartRole::Forward;
    double width = 1;
    bool dashed = false;
};
// Filled, without a border.
struct ChartRect {
    double x = 0, y = 0, width = 0, height = 0;
    ChartRole role = ChartRole::Background;
};
// Which point of the text's box lies at `at`.
enum class ChartAnchor : std::uint8_t {
    TopLeft,
    Top,
    TopRight,
    Left,
    Center,
    Right,
    BottomLeft,
    Bottom,
    BottomRight
};
struct ChartText {
    ChartPoint at;
    std::string text;  // UTF-8
    ChartAnchor anchor = ChartAnchor::TopLeft;
    ChartRole role = ChartRole::Text;
};

// What to paint, in this order: rectangles, lines, polylines, texts. Every number in it
// is finite.
struct DisplayList {
    double width = 0, height = 0;
    double textHeight = 0;  // the font's line height the list was laid out for
    std::vector<ChartRect> rects;
    std::vector<ChartLine> lines;
    std::vector<ChartPolyline> polylines;
    std::vector<ChartText> texts;
    std::string description;
};

// The window's font as the toolkit measures it, so that the layout follows DPI and font.
class TextMeasure {
  public:
    virtual ~TextMeasure() = default;
    virtual double Width(std::string_view utf8) const = 0;
    virtual double Height() const = 0;
};

// The chart laid out for a drawing area of width x height pixels: the diagram, or the
// problem line centred when there is nothing to draw or the area is too small for it.
DisplayList DrawGearChart(const GearChart& chart, double width, double height,
                          const TextMeasure& measure);

// ---- Colours --------------------------------------------------------------------------

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
using ChartColours = std::array<Rgb, kChartRoles>;  // indexed by ChartRole

// For light and dark window backgrounds: every line and text stands at 4.5:1 or better
// against the background, and all but the grid also against a gap's fill.
const ChartColours& LightChartColours();
const ChartColours& DarkChartColours();
// The set for a window whose background has this colour.
const ChartColours& ChartColoursFor(Rgb windowBackground);
inline Rgb ColourOf(const ChartColours& colours, ChartRole role) {
    return colours[static_cast<std::size_t>(role)];
}
// The contrast ratio of two colours by relative luminance (1 to 21).
double ContrastRatio(Rgb a, Rgb b);

// ---- SVG ------------------------------------------------------------------------------

// How a window writes the SVG: bytes to a file, without losing the one already there.
// The empty text when it worked, else the reason in words the user can act on.
using SaveTextFile = std::function<std::string(const std::string& path, const std::string& bytes)>;

// The SaveTextFile both windows use: the bytes replace the file as safely as a property
// file is saved (a temporary beside it takes its place whole), without a backup.
std::string SaveChartFile(const std::string& path, const std::string& bytes);

// The display list as a standalone SVG document (UTF-8), with the description as title.
std::string ChartSvg(const DisplayList& list, const ChartColours& colours);

}  // namespace quorvel
