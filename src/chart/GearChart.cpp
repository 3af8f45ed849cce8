#include "GearChart.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Calculation.h"
#include "Mod_String.h"
#include "SafeSave.h"

namespace quorvel {

namespace {

// Beyond these the picture says nothing: a speed that shows as "0.00", or axes whose
// labels no longer fit any window.
constexpr double kMinSpeed = 0.01;
constexpr double kMaxSpeed = 100000;
constexpr double kMaxRevolutions = 1000000;
constexpr double kFactor = 0.0038;

std::string Speed(double v) {
    return FormatDecimal(v, 2);
}

// The ratio as the field holds it when that reads back the same, else the shortest text
// that does.
std::string RatioCell(double ratio) {
    std::string text = FormatDecimal(ratio, 1);
    if (ParseLeadingNumber(text) == ratio) return text;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, ratio);
    return std::string(buffer, result.ptr);
}

// The problem with the fields, or nothing when a chart can be drawn from them.
std::optional<std::string> Problem(const EditorState& state, double r, const GearChart& c,
                                   const std::vector<int>& fields) {
    if (!state.vehicle.HasMotor) return std::string(texts::kChartNoMotor);
    if (fields.empty()) return std::string(texts::kChartNoRatio);
    if (!(r > 0)) return std::string(texts::kChartNoRadius);
    if (!(c.u3 > 0)) return std::string(texts::kChartNoU3);
    if (c.u3 < 1) return std::string(texts::kChartU3BelowOne);
    if (c.u3 > kMaxRevolutions) return texts::ChartU3TooHigh(FormatDecimal(kMaxRevolutions));
    if (c.u1 < 0 || c.u1 > c.u3) return std::string(texts::kChartU1Outside);
    if (c.u2 < 0 || c.u2 > c.u3) return std::string(texts::kChartU2Outside);
    const double k = r * c.u3 * kFactor;
    for (int field : fields) {
        const double ratio = ParseLeadingNumber(state.tx_ueber[static_cast<std::size_t>(field)]);
        if (ratio == 0) return texts::ChartRatioZero(field);
        const double v = std::fabs(k / ratio);
        if (!(v <= kMaxSpeed)) return texts::ChartRatioTooFast(field, FormatDecimal(kMaxSpeed));
        if (v < kMinSpeed) return texts::ChartRatioTooSlow(field);
    }
    return std::nullopt;
}

std::string Description(const GearChart& c) {
    const GearRow* forward = nullptr;
    const GearRow* reverse = nullptr;
    for (const GearRow& row : c.rows) (row.reverse ? reverse : forward) = &row;  // fastest last
    const std::size_t n = c.rows.size();
    std::string text = texts::Gears(n);
    text += forward ? texts::ForwardUpTo(forward->cells[4]) : std::string(texts::kNoForwardGear);
    text += reverse ? texts::ReverseUpTo(reverse->cells[4]) : std::string(texts::kNoReverseGear);
    if (c.gaps.empty()) return text.append(texts::kNoGap);
    text += texts::Gaps(c.gaps.size());
    for (std::size_t i = 0; i < c.gaps.size(); ++i) {
        if (i > 0) text += ", ";
        text += texts::Gap(Speed(c.gaps[i].from), Speed(c.gaps[i].to));
    }
    return text;
}

}  // namespace

GearChart ComputeGearChart(const EditorState& state) {
    GearChart c;
    // The fields the main window shows: one per gear of the file, six at most.
    std::vector<int> fields;
    const int count = std::clamp<std::int32_t>(state.vehicle.GearCount, 0, kRatioFields);
    for (int i = 0; i < count; ++i)
        if (state.tx_ueber_visible[static_cast<std::size_t>(i)]) fields.push_back(i);
    const double r = ParseLeadingNumber(state.tx_Treib);
    c.u1 = ParseLeadingNumber(state.tx_U1);
    c.u2 = ParseLeadingNumber(state.tx_U2);
    c.u3 = ParseLeadingNumber(state.tx_U3);
    if (auto problem = Problem(state, r, c, fields)) {
        c.problem = *problem;
        c.description = c.problem;
        return c;
    }

    for (int field : fields) {
        GearRow row;
        row.ratio = ParseLeadingNumber(state.tx_ueber[static_cast<std::size_t>(field)]);
        row.reverse = row.ratio < 0;
        const double perRevolution = r * kFactor / std::fabs(row.ratio);
        row.atU1 = c.u1 * perRevolution;
        row.atU2 = c.u2 * perRevolution;
        row.atU3 = std::fabs(r * c.u3 * kFactor / row.ratio);  // as SpeedText computes it
        c.rows.push_back(row);
    }
    // Slowest first within each direction, reverse before forward.
    std::stable_sort(c.rows.begin(), c.rows.end(), [](const GearRow& a, const GearRow& b) {
        if (a.reverse != b.reverse) return a.reverse;
        return a.atU3 < b.atU3;
    });
    int reverseNumber = 0, forwardNumber = 0;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        GearRow& row = c.rows[i];
        if (!row.reverse && i + 1 < c.rows.size()) {
            // The next faster gear turns slower at the same speed, by the ratio of ratios.
            row.afterShift = c.u3 * std::fabs(c.rows[i + 1].ratio) / std::fabs(row.ratio);
        }
        row.cells = {row.reverse ? std::string("R").append(std::to_string(++reverseNumber))
                                 : std::to_string(++forwardNumber),
                     RatioCell(row.ratio),
                     Speed(row.atU1),
                     Speed(row.atU2),
                     SpeedText(state, row.ratio),
                     row.afterShift ? FormatDecimal(*row.afterShift) : std::string()};
    }

    // Where no forward gear runs between U1 and U3, from the slowest gear's start on.
    // A hole too small to show with two decimals is none.
    double covered = -1;
    for (const GearRow& row : c.rows) {
        if (row.reverse) continue;
        if (covered >= 0 && row.atU1 > covered && Speed(row.atU1) != Speed(covered))
            c.gaps.push_back({covered, row.atU1});
        covered = std::max(covered, row.atU3);
    }
    c.description = Description(c);
    return c;
}

std::string GearTableText(const GearChart& chart, std::string_view newline) {
    if (!chart.problem.empty()) return chart.problem + std::string(newline);
    std::string text;
    auto line = [&](auto&& cells) {
        bool first = true;
        for (const auto& cell : cells) {
            if (!first) text += '\t';
            text += cell;
            first = false;
        }
        text += newline;
    };
    line(kGearColumns);
    for (const GearRow& row : chart.rows) line(row.cells);
    return text;
}

// ---- Layout ----------------------------------------------------------------------------

namespace {

// A step of 1, 2 or 5 times a power of ten that cuts `span` into about `parts` pieces.
double NiceStep(double span, int parts) {
    const double raw = span / std::max(parts, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
}

// The decimals a tick label needs for this step.
int StepDecimals(double step) {
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

std::string TickText(double value, int decimals) {
    return decimals == 0 ? FormatDecimal(value) : FormatDecimal(value, decimals);
}

// The first multiple of step strictly above value.
double Above(double value, double step) {
    return (std::floor(value / step + 1e-9) + 1) * step;
}

DisplayList Message(const std::string& text, double width, double height, double textHeight) {
    DisplayList list;
    list.width = width;
    list.height = height;
    list.textHeight = textHeight;
    list.rects.push_back({0, 0, width, height, ChartRole::Background});
    list.texts.push_back({{width / 2, height / 2}, text, ChartAnchor::Center, ChartRole::Text});
    list.description = text;
    return list;
}

bool Finite(double v) {
    return std::isfinite(v);
}

}  // namespace

DisplayList DrawGearChart(const GearChart& chart, double width, double height,
                          const TextMeasure& measure) {
    if (!Finite(width) || width < 0) width = 0;
    if (!Finite(height) || height < 0) height = 0;
    double h = measure.Height();
    if (!Finite(h) || h <= 0) h = 1;
    if (!chart.problem.empty()) return Message(chart.problem, width, height, h);

    const double pad = h / 2;
    const double tick = h / 3;
    const double top = h + pad;                // room for "U/min"
    const double bottom = tick + 2 * h + pad;  // tick labels, then the direction captions
    const double right = measure.Width("U3") + pad * 2;
    const double plotHeight = height - top - bottom;

    // Revolutions upwards.
    const int yParts = std::clamp(static_cast<int>(plotHeight / (2.5 * h)), 2, 8);
    const double yStep = NiceStep(chart.u3, yParts);
    const double yMax = Above(chart.u3, yStep);
    const int yDecimals = StepDecimals(yStep);
    double labelWidth = 0;
    const long yLast = std::lround(yMax / yStep);
    for (long k = 0; k <= yLast; ++k)
        labelWidth = std::max(labelWidth, measure.Width(TickText(k * yStep, yDecimals)));
    const double left = pad + labelWidth + tick;
    const double plotWidth = width - left - right;
    if (plotWidth < 6 * h || plotHeight < 4 * h)
        return Message(std::string(texts::kChartNoRoom), width, height, h);

    // Speeds across: reverse gears to the left of zero, forward gears to the right.
    double forwardTop = 0, reverseTop = 0;
    for (const GearRow& row : chart.rows) {
        double& top = row.reverse ? reverseTop : forwardTop;
        top = std::max(top, row.atU3);
    }
    const double sampleWidth = measure.Width("0000.00") + h;
    const int xParts = std::clamp(static_cast<int>(plotWidth / sampleWidth), 2, 10);
    const double xStep = NiceStep(forwardTop + reverseTop, xParts);
    const double xMax = forwardTop > 0 ? Above(forwardTop, xStep) : 0;
    const double xMin = reverseTop > 0 ? -Above(reverseTop, xStep) : 0;
    const int xDecimals = StepDecimals(xStep);

    auto X = [&](double v) { return left + (v - xMin) / (xMax - xMin) * plotWidth; };
    auto Y = [&](double n) { return top + plotHeight - n / yMax * plotHeight; };
    const double plotBottom = top + plotHeight;
    const double plotRight = left + plotWidth;

    DisplayList list;
    list.width = width;
    list.height = height;
    list.textHeight = h;
    list.description = chart.description;
    list.rects.push_back({0, 0, width, height, ChartRole::Background});
    for (const SpeedGap& gap : chart.gaps)
        list.rects.push_back(
            {X(gap.from), top, X(gap.to) - X(gap.from), plotHeight, ChartRole::Gap});

    // Grid and tick labels; speeds are labelled without sign on both sides.
    const long xFirst = std::lround(xMin / xStep), xLast = std::lround(xMax / xStep);
    for (long k = xFirst; k <= xLast; ++k) {
        const double x = X(k * xStep);
        list.lines.push_back({{x, top}, {x, plotBottom}, ChartRole::Grid, 1, true});
        list.lines.push_back({{x, plotBottom}, {x, plotBottom + tick}, ChartRole::Axis, 1, false});
        list.texts.push_back({{x, plotBottom + tick},
                              TickText(std::fabs(k * xStep), xDecimals),
                              ChartAnchor::Top,
                              ChartRole::Text});
    }
    for (long k = 0; k <= yLast; ++k) {
        const double y = Y(k * yStep);
        list.lines.push_back({{left, y}, {plotRight, y}, ChartRole::Grid, 1, true});
        list.lines.push_back({{left - tick, y}, {left, y}, ChartRole::Axis, 1, false});
        list.texts.push_back({{left - tick, y},
                              TickText(k * yStep, yDecimals),
                              ChartAnchor::Right,
                              ChartRole::Text});
    }
    // U1, U2 and U3 across the whole diagram, named at the right.
    const std::array<std::pair<double, const char*>, 3> marks{
        {{chart.u1, "U1"}, {chart.u2, "U2"}, {chart.u3, "U3"}}};
    for (const auto& [n, name] : marks) {
        list.lines.push_back({{left, Y(n)}, {plotRight, Y(n)}, ChartRole::Mark, 1, true});
        list.texts.push_back(
            {{plotRight + pad / 2, Y(n)}, name, ChartAnchor::Left, ChartRole::Mark});
    }
    // The axes: speed 0 upwards, revolutions 0 across.
    list.lines.push_back({{X(0), top}, {X(0), plotBottom}, ChartRole::Axis, 1.5, false});
    list.lines.push_back(
        {{left, plotBottom}, {plotRight, plotBottom}, ChartRole::Axis, 1.5, false});
    list.texts.push_back({{left - tick, top - pad / 2},
                          std::string(texts::kAxisRevolutions),
                          ChartAnchor::BottomLeft,
                          ChartRole::Text});
    list.texts.push_back({{plotRight, height - pad / 2},
                          std::string(texts::kAxisForward),
                          ChartAnchor::BottomRight,
                          ChartRole::Text});
    if (reverseTop > 0)
        list.texts.push_back({{left, height - pad / 2},
                              std::string(texts::kAxisReverse),
                              ChartAnchor::BottomLeft,
                              ChartRole::Text});

    // One line per gear from standstill to its top speed at U3; reverse gears dashed as
    // well as coloured, so they differ without colour too. A forward gear's shift at U3
    // drops to the next faster gear's revolutions: the sawtooth.
    for (const GearRow& row : chart.rows) {
        const double sign = row.reverse ? -1 : 1;
        const ChartRole role = row.reverse ? ChartRole::Reverse : ChartRole::Forward;
        const ChartPoint end{X(sign * row.atU3), Y(chart.u3)};
        list.polylines.push_back({{{X(0), Y(0)}, end}, role, 2, row.reverse});
        if (row.afterShift)
            list.lines.push_back({end, {end.x, Y(*row.afterShift)}, ChartRole::Forward, 2, false});
        list.texts.push_back({{end.x, end.y - tick}, row.cells[0], ChartAnchor::Bottom, role});
    }
    return list;
}

// ---- Colours ---------------------------------------------------------------------------

namespace {

// Background, Axis, Grid, Forward, Reverse, Mark, Gap, Text.
constexpr ChartColours kLight{{{255, 255, 255},
                               {0, 0, 0},
                               {118, 118, 118},
                               {0, 70, 160},
                               {176, 0, 32},
                               {0, 96, 0},
                               {255, 230, 170},
                               {0, 0, 0}}};
constexpr ChartColours kDark{{{30, 30, 30},
                              {255, 255, 255},
                              {140, 140, 140},
                              {120, 184, 255},
                              {255, 140, 130},
                              {120, 220, 120},
                              {72, 56, 0},
                              {255, 255, 255}}};

double Luminance(Rgb c) {
    auto channel = [](std::uint8_t v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
}

}  // namespace

const ChartColours& LightChartColours() {
    return kLight;
}
const ChartColours& DarkChartColours() {
    return kDark;
}

const ChartColours& ChartColoursFor(Rgb windowBackground) {
    return Luminance(windowBackground) < 0.18 ? kDark : kLight;
}

double ContrastRatio(Rgb a, Rgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// ---- SVG -------------------------------------------------------------------------------

namespace {

std::string Number(double v) {
    if (!std::isfinite(v)) v = 0;
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (char ch : text) {
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                // Control characters are not allowed in XML 1.0.
                if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t' || ch == '\n') out += ch;
        }
    }
    return out;
}

std::string Colour(const ChartColours& colours, ChartRole role) {
    const Rgb c = ColourOf(colours, role);
    char buffer[8];
    static constexpr char kHex[] = "0123456789abcdef";
    buffer[0] = '#';
    const std::uint8_t parts[3] = {c.r, c.g, c.b};
    for (int i = 0; i < 3; ++i) {
        buffer[1 + 2 * i] = kHex[parts[i] >> 4];
        buffer[2 + 2 * i] = kHex[parts[i] & 15];
    }
    return std::string(buffer, 7);
}

std::string Stroke(const ChartColours& colours, ChartRole role, double width, bool dashed) {
    std::string s = " fill=\"none\" stroke=\"" + Colour(colours, role) + "\" stroke-width=\"" +
                    Number(width) + "\"";
    if (dashed) s += " stroke-dasharray=\"" + Number(width * 4) + " " + Number(width * 3) + "\"";
    return s;
}

}  // namespace

std::string ChartSvg(const DisplayList& list, const ChartColours& colours) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(list.width) +
           "\" height=\"" + Number(list.height) + "\" viewBox=\"0 0 " + Number(list.width) + " " +
           Number(list.height) + "\" font-family=\"sans-serif\" font-size=\"" +
           Number(list.textHeight * 0.75) + "\">\n";
    svg += "<title>" + Escaped(list.description) + "</title>\n";
    for (const ChartRect& r : list.rects)
        svg += "<rect x=\"" + Number(r.x) + "\" y=\"" + Number(r.y) + "\" width=\"" +
               Number(r.width) + "\" height=\"" + Number(r.height) + "\" fill=\"" +
               Colour(colours, r.role) + "\"/>\n";
    for (const ChartLine& l : list.lines)
        svg += "<line x1=\"" + Number(l.from.x) + "\" y1=\"" + Number(l.from.y) + "\" x2=\"" +
               Number(l.to.x) + "\" y2=\"" + Number(l.to.y) + "\"" +
               Stroke(colours, l.role, l.width, l.dashed) + "/>\n";
    for (const ChartPolyline& p : list.polylines) {
        svg += "<polyline points=\"";
        // Appended piece by piece: "x" + a temporary makes GCC 12's optimiser warn falsely.
        for (std::size_t i = 0; i < p.points.size(); ++i)
            svg.append(i ? " " : "")
                .append(Number(p.points[i].x))
                .append(",")
                .append(Number(p.points[i].y));
        svg.append("\"").append(Stroke(colours, p.role, p.width, p.dashed)).append("/>\n");
    }
    for (const ChartText& t : list.texts) {
        const int column = static_cast<int>(t.anchor) % 3;  // left, middle, right
        const int row = static_cast<int>(t.anchor) / 3;     // top, middle, bottom
        static constexpr const char* kAnchor[] = {"start", "middle", "end"};
        // The baseline placed by hand: not every renderer knows dominant-baseline. The
        // font is three quarters of the line height, its ascent most of that.
        const double top = t.at.y - list.textHeight * row / 2;
        svg += "<text x=\"" + Number(t.at.x) + "\" y=\"" + Number(top + list.textHeight * 0.78) +
               "\" fill=\"" + Colour(colours, t.role) + "\" text-anchor=\"" + kAnchor[column] +
               "\">" + Escaped(t.text) + "</text>\n";
    }
    svg += "</svg>\n";
    return svg;
}

std::string SaveChartFile(const std::string& path, const std::string& bytes) {
    const SaveResult result = SaveText(path, bytes);
    if (result.ok()) return {};
    if (result.errorCode == 0) return result.description;
    return texts::WithNumber(result.description, result.errorCode);
}

}  // namespace quorvel
