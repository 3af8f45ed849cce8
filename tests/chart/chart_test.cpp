#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "Calculation.h"
#include "GearChart.h"
#include "Presets.h"
#include "test_common.h"

namespace quorvel {
namespace {

// Radius 50 and U3 2000 give K = 380.
EditorState Loco() {
    EditorState s;
    s.tx_Treib = "50", s.tx_U1 = "1000", s.tx_U2 = "1400", s.tx_U3 = "2000";
    s.tx_ueber = {"-7.6", "-11.4", "-15.2", "8.0", "5.6", "3.2"};
    s.vehicle = {true, 6};
    return s;
}

// A font of 7 pixels per character (UTF-8 sequences count once) and 14 pixels a line.
struct FixedFont : TextMeasure {
    double width = 7, height = 14;
    double Width(std::string_view text) const override {
        double n = 0;
        for (char ch : text) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
        return n * width;
    }
    double Height() const override { return height; }
};

std::string Rows(const GearChart& chart) {
    std::string text;
    for (const GearRow& row : chart.rows) {
        for (const std::string& cell : row.cells) text += cell + " ";
        text += "| ";
    }
    return text;
}

// Every item lies finite and inside the area; texts by their measured box.
void ExpectInside(const DisplayList& list, const TextMeasure& font) {
    auto inside = [&](double x, double y) {
        EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
        EXPECT_TRUE(x >= -0.01 && x <= list.width + 0.01 && y >= -0.01 && y <= list.height + 0.01)
            << x << "," << y;
    };
    for (const ChartRect& r : list.rects) inside(r.x, r.y), inside(r.x + r.width, r.y + r.height);
    for (const ChartLine& l : list.lines) inside(l.from.x, l.from.y), inside(l.to.x, l.to.y);
    for (const ChartPolyline& p : list.polylines)
        for (const ChartPoint& at : p.points) inside(at.x, at.y);
    for (const ChartText& t : list.texts) {
        const double w = font.Width(t.text), h = font.Height();
        const double x = t.at.x - w * (static_cast<int>(t.anchor) % 3) / 2;
        const double y = t.at.y - h * (static_cast<int>(t.anchor) / 3) / 2;
        inside(x, y), inside(x + w, y + h);
    }
}

// A small XML checker: tags balance, texts and tags hold no raw "<" or ">" nor a stray "&",
// and no number is "nan" or "inf". Empty when well formed, else what is wrong.
std::string Malformed(const std::string& svg) {
    const std::size_t start = svg.find("?>");
    if (svg.rfind("<?xml", 0) != 0 || start == std::string::npos) return "declaration";
    static const std::regex token("<[^<>]*>|[^<>]+|[<>]"), entity("&(?!(amp|lt|gt|quot|apos);)"),
        number("[\" ,]-?(nan|inf)");
    std::vector<std::string> open;
    for (std::sregex_iterator t(svg.begin() + start + 2, svg.end(), token), end; t != end; ++t) {
        const std::string s = t->str();
        if (s == "<" || s == ">" || std::regex_search(s, entity)) return "raw < > & in " + s;
        if (s[0] != '<') continue;
        if (std::count(s.begin(), s.end(), '"') % 2 || std::regex_search(s, number)) return s;
        const std::size_t from = s[1] == '/' ? 2 : 1;
        const std::string name = s.substr(from, s.find_first_of(" />", from) - from);
        if (from == 2 && (open.empty() || open.back() != name)) return "unbalanced " + s;
        if (from == 2)
            open.pop_back();
        else if (s[s.size() - 2] != '/')
            open.push_back(name);
    }
    return open.empty() ? "" : "open " + open.back();
}

TEST(GearChart, WorkedExampleTableAndPicture) {
    const EditorState state = Loco();
    const GearChart chart = ComputeGearChart(state);
    ASSERT_EQ(chart.problem, "");
    EXPECT_EQ(Rows(chart),
              "R1 -15.2 12.50 17.50 25.00  | R2 -11.4 16.67 23.33 33.33  | "
              "R3 -7.6 25.00 35.00 50.00  | 1 8.0 23.75 33.25 47.50 1400 | "
              "2 5.6 33.93 47.50 67.86 1143 | 3 3.2 59.38 83.12 118.75  | ");
    for (const GearRow& row : chart.rows) EXPECT_EQ(row.cells[4], SpeedText(state, row.ratio));
    EXPECT_EQ(chart.description,
              "6 Gänge, vorwärts bis 118.75 km/h, rückwärts bis 50.00 km/h, keine Lücke");
    EXPECT_EQ(GearTableText(chart, "\r\n").substr(0, 108),
              "Gang\tÜbersetzung\tkm/h bei U1\tkm/h bei U2\tkm/h bei U3\tU/min nach "
              "Hochschalten\r\nR1\t-15.2\t12.50\t17.50\t25.00\t\r\n");

    // Each gear a line from standstill, reverse ones dashed and left of zero; two shifts.
    const FixedFont font;
    const DisplayList list = DrawGearChart(chart, 600, 400, font);
    ExpectInside(list, font);
    ASSERT_EQ(list.polylines.size(), 6u);
    const double zero = list.polylines[0].points[0].x;
    for (const ChartPolyline& p : list.polylines) {
        EXPECT_EQ(p.dashed, p.role == ChartRole::Reverse);
        EXPECT_EQ(p.points[1].x < zero, p.role == ChartRole::Reverse);
    }
    int drops = 0, marks = 0;
    for (const ChartLine& l : list.lines) {
        drops += l.role == ChartRole::Forward;
        marks += l.role == ChartRole::Mark;
    }
    EXPECT_EQ(drops, 2);
    EXPECT_EQ(marks, 3);
}

// A preset's result as the user sees it: the electric preset sets the limit revolutions by
// power and both top speeds from the ratios, and the chart reads the same speeds.
TEST(GearChart, PresetResultMatchesTheTopSpeedFields) {
    EditorState state = Loco();
    state.tx_Masse = "80000", state.tx_Leistung = "1500";
    RecordingSink sink;
    PresetElectricDiesel(state, kEnglish, sink);
    ASSERT_EQ(state.tx_U3, "3500");
    const GearChart chart = ComputeGearChart(state);
    ASSERT_EQ(chart.problem, "");
    EXPECT_EQ(chart.rows.back().cells[4], state.tx_VmaxV);
    EXPECT_EQ(chart.rows[2].cells[4], state.tx_VMaxR);
}

// Ratios, gear count, U1, the description's ending, the gaps drawn.
TEST(GearChart, GapsBetweenForwardGears) {
    // clang-format off
    struct Case { std::array<std::string, 6> ratios; int gears; const char *u1, *ending; std::size_t gapRects; };
    const Case cases[] = {
        {{"8.0", "3.2"}, 2, "1000", "1 Lücke: 47.50 bis 59.38 km/h", 1},
        {{"8.0", "5.6", "3.2"}, 3, "1000", "keine Lücke", 0},
        {{"12.0", "8.0", "2.0"}, 3, "1500", "2 Lücken: 31.67 bis 35.62 km/h, 47.50 bis 142.50 km/h", 2},
        {{"8.0", "3.2"}, 2, "0", "keine Lücke", 0},  // every gear runs from standstill
        {{"3.2", "8.0"}, 2, "1000", "1 Lücke: 47.50 bis 59.38 km/h", 1}};  // order of the fields
    // clang-format on
    for (const Case& c : cases) {
        EditorState state = Loco();
        state.tx_ueber = c.ratios, state.vehicle.GearCount = c.gears, state.tx_U1 = c.u1;
        const GearChart chart = ComputeGearChart(state);
        const std::string& d = chart.description;
        EXPECT_EQ(d.substr(d.size() - std::min(d.size(), std::string(c.ending).size())), c.ending)
            << d;
        const DisplayList list = DrawGearChart(chart, 500, 300, FixedFont{});
        std::size_t rects = 0;
        for (const ChartRect& r : list.rects) rects += r.role == ChartRole::Gap;
        EXPECT_EQ(rects, c.gapRects) << d;
    }
}

TEST(GearChart, DegenerateInputGivesOneGermanLine) {
    using S = EditorState&;
    const std::string none = ": keine Geschwindigkeit", big = " zu groß für ein Diagramm",
                      small = " zu klein für ein Diagramm",
                      gear = " ist leer oder 0: kein Getriebe";
    const std::pair<std::function<void(S)>, std::string> cases[] = {
        // clang-format off
        {[](S s) { s.vehicle.HasMotor = false; }, "Kein Motor: kein Getriebe"},
        {[](S s) { s.vehicle.GearCount = 0; }, "Keine Übersetzung angegeben: kein Getriebe"},
        {[](S s) { s.tx_Treib = ""; }, "Treibradradius leer oder nicht größer als 0" + none},
        {[](S s) { s.tx_U3 = "0"; }, "Grenzdrehzahl U3 leer oder nicht größer als 0" + none},
        {[](S s) { s.tx_ueber[4] = ""; }, "Übersetzung 5" + gear},
        {[](S s) { s.tx_ueber[0] = "0.0"; }, "Übersetzung 1" + gear},
        {[](S s) { s.tx_U1 = "2500"; }, "Grenzdrehzahl U1 liegt nicht zwischen 0 und U3"},
        {[](S s) { s.tx_U2 = "-5"; }, "Grenzdrehzahl U2 liegt nicht zwischen 0 und U3"},
        {[](S s) { s.tx_U3 = "0.5", s.tx_Treib = "1e300"; }, "Grenzdrehzahl U3 unter 1:" + small},
        {[](S s) { s.tx_U3 = "1e300"; }, "Grenzdrehzahl U3 über 1000000:" + big},
        {[](S s) { s.tx_Treib = "1e300"; }, "Übersetzung 1 ergibt über 100000 km/h:" + big},
        {[](S s) { s.tx_Treib = "1e-300"; }, "Übersetzung 1 ergibt unter 0.01 km/h:" + small},
        {[](S s) { s.tx_ueber[2] = "1e-300"; }, "Übersetzung 3 ergibt über 100000 km/h:" + big},
        {[](S s) { s.tx_ueber[3] = "-1e300"; }, "Übersetzung 4 ergibt unter 0.01 km/h:" + small},
        {[](S s) { s.tx_ueber[5] = "1e-320"; }, "Übersetzung 6 ergibt über 100000 km/h:" + big}};
    // clang-format on
    const FixedFont font;
    for (const auto& [change, problem] : cases) {
        EditorState state = Loco();
        change(state);
        const GearChart chart = ComputeGearChart(state);
        EXPECT_TRUE(chart.problem == problem && chart.rows.empty()) << chart.problem;
        EXPECT_EQ(GearTableText(chart), problem + "\n");
        const DisplayList list = DrawGearChart(chart, 400, 300, font);
        ASSERT_EQ(list.texts.size(), 1u);
        EXPECT_TRUE(list.texts[0].text == problem && list.description == problem);
        EXPECT_TRUE(list.lines.empty() && list.polylines.empty());
    }
    // More ratios than fields: the six shown ones, as the main window.
    EditorState many = Loco();
    many.vehicle.GearCount = 9;
    EXPECT_EQ(ComputeGearChart(many).rows.size(), 6u);
}

// Whatever the magnitudes, either a chart that fits or one line: never a stray number.
TEST(GearChart, AnyMagnitudeDrawsInsideTheArea) {
    const char* values[] = {"1e-300", "1e-5", "0.5", "3", "1e5", "1e300", "-1e300", "-2"};
    const FixedFont font;
    for (std::string EditorState::*field :
         {&EditorState::tx_Treib, &EditorState::tx_U3, &EditorState::tx_U1}) {
        for (const char* value : values) {
            for (const char* ratio : values) {
                EditorState state = Loco();
                state.*field = value;
                state.tx_ueber[5] = ratio;
                const DisplayList list = DrawGearChart(ComputeGearChart(state), 600, 400, font);
                SCOPED_TRACE(std::string(value) + " " + ratio);
                ExpectInside(list, font);
                EXPECT_LT(list.texts.size(), 60u);
            }
        }
    }
}

TEST(GearChart, LayoutFitsEverySizeAndFont) {
    const GearChart chart = ComputeGearChart(Loco());
    // width, height, character width, line height, drawn
    const std::tuple<double, double, double, double, bool> cases[] = {
        {600, 400, 7, 14, true},      {1200, 800, 14, 28, true}, {300, 200, 5, 10, true},
        {2000, 100, 7, 14, false},    {120, 900, 7, 14, false},  {0, 0, 7, 14, false},
        {NAN, INFINITY, 7, 14, false}};
    for (const auto& [width, height, charWidth, lineHeight, drawn] : cases) {
        FixedFont font;
        font.width = charWidth, font.height = lineHeight;
        const DisplayList list = DrawGearChart(chart, width, height, font);
        EXPECT_EQ(!list.polylines.empty(), drawn) << width << "x" << height;
        if (drawn)
            ExpectInside(list, font);
        else
            EXPECT_EQ(list.texts.at(0).text, "Zu wenig Platz für das Diagramm");
    }
}

TEST(GearChart, SvgIsWellFormed) {
    const FixedFont font;
    EditorState broken = Loco();
    broken.vehicle.HasMotor = false;
    DisplayList escaped;
    escaped.width = 100, escaped.height = 50, escaped.description = "a<b & \"c\" 'd'";
    escaped.texts.push_back({{NAN, INFINITY}, "<&>\x01", ChartAnchor::Center, ChartRole::Text});
    for (const DisplayList& list :
         {DrawGearChart(ComputeGearChart(Loco()), 600, 400, font),
          DrawGearChart(ComputeGearChart(broken), 600, 400, font), escaped}) {
        const std::string svg = ChartSvg(list, LightChartColours());
        EXPECT_EQ(Malformed(svg), "") << svg;
        EXPECT_NE(
            svg.find("<title>" + (list.description == escaped.description
                                      ? std::string("a&lt;b &amp; &quot;c&quot; &apos;d&apos;")
                                      : list.description)),
            std::string::npos);
    }
}

TEST(GearChart, ColoursReadableInLightAndDark) {
    for (const ChartColours* colours : {&LightChartColours(), &DarkChartColours()}) {
        for (int role = 0; role < kChartRoles; ++role) {
            const auto r = static_cast<ChartRole>(role);
            if (r == ChartRole::Background || r == ChartRole::Gap) continue;
            EXPECT_GE(
                ContrastRatio(ColourOf(*colours, r), ColourOf(*colours, ChartRole::Background)),
                4.5)
                << role;
            // The dotted grid only guides the eye; it may fade where it crosses a gap.
            if (r == ChartRole::Grid) continue;
            EXPECT_GE(ContrastRatio(ColourOf(*colours, r), ColourOf(*colours, ChartRole::Gap)), 4.5)
                << role;
        }
    }
    EXPECT_NEAR(ContrastRatio({0, 0, 0}, {255, 255, 255}), 21, 1e-9);
    EXPECT_NEAR(ContrastRatio({118, 118, 118}, {255, 255, 255}), 4.54, 0.01);
    EXPECT_EQ(&ChartColoursFor({255, 255, 255}), &LightChartColours());
    EXPECT_EQ(&ChartColoursFor({40, 40, 40}), &DarkChartColours());
}

}  // namespace
}  // namespace quorvel
