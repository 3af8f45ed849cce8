#include "ControlTable.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

namespace quorvel {

namespace {

using K = ControlKind;
using F = Field;
using O = TypeOption;
using C = Command;
constexpr std::string_view W = kFormName;
constexpr Picture NoPic = Picture::None;

constexpr std::string_view kNone = "Keine automatischen Berechnungen";
constexpr std::string_view kSpeeds = "Geschwindigkeiten werden neu berechnet";
constexpr std::string_view kRatios = "\u00DCbersetzungen werden neu berechnet";

// clang-format off
constexpr std::array<Control, 46> kControls{{
    // name, kind, in, caption, left, top, width, height, tab, tooltip, centred, picture,
    // field, index, option, command, accessible name
    {"bu_open", K::Button, W, "", 120, 0, 375, 375, 0, "Datei \u00F6ffnen", false, Picture::Open, F::None, 0, O::None, C::Open, ""},
    {"bu_save", K::Button, W, "", 480, 0, 375, 375, 1, "Datei speichern", false, Picture::Save, F::None, 0, O::None, C::Save, ""},
    {"tx_Datei", K::Field, W, "", 960, 60, 7335, 285, 2, "", false, NoPic, F::tx_Datei, 0, O::None, C::None, "Datei"},
    {"Fra_Typ", K::Frame, W, "Fahrzeug", 240, 480, 2775, 1335, 33, "", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Fra_Roll", K::Frame, W, "Rollmaterial", 240, 1920, 2775, 1455, 4, "", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Fra_Motor", K::Frame, W, "Motor und Getriebe", 3120, 480, 5175, 2895, 3, "", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_waggon", K::Option, "Fra_Typ", "Option1", 120, 360, 255, 255, 35, "", false, NoPic, F::None, 0, O::Opt_waggon, C::Wagon, "Waggon"},
    {"lab_Waggon", K::Label, "Fra_Typ", "Waggon", 480, 360, 735, 255, 39, "Berechnung von Bremskraft und Reibungskraft", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_Andere", K::Option, "Fra_Typ", "Option1", 1440, 360, 255, 255, 40, "", false, NoPic, F::None, 0, O::Opt_Andere, C::Other, "Andere"},
    {"Lab_Andere", K::Label, "Fra_Typ", "Andere", 1800, 360, 615, 255, 43, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_DLok", K::Option, "Fra_Typ", "Option1", 120, 600, 255, 255, 36, "", false, NoPic, F::None, 0, O::Opt_DLok, C::Steam, "Dampflok"},
    {"lab_DLok", K::Label, "Fra_Typ", "Dampflok", 480, 600, 735, 255, 41, "Berechnung von Bremskraft, Reibungskraft(evtl. ungenau) und Grenzdrehzahlen. VMax r\u00FCckw\u00E4rts=50 km/h", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_Zelmo", K::Option, "Fra_Typ", "Option1", 1440, 600, 255, 255, 34, "", false, NoPic, F::None, 0, O::Opt_Zelmo, C::Restore, "Original"},
    {"lab_Zelmo", K::Label, "Fra_Typ", "Original", 1800, 600, 615, 255, 38, "Herstellen der Originaleintr\u00E4ge. Voraussetzung ist eine Sicherung mit der Extension txt_orig auf dem aktuellen Verzeichnis", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_Elok", K::Option, "Fra_Typ", "Option1", 120, 840, 255, 255, 37, "", false, NoPic, F::None, 0, O::Opt_Elok, C::ElectricDiesel, "E-Lok/Diesel"},
    {"lab_Elok", K::Label, "Fra_Typ", "E-Lok/Diesel", 480, 840, 975, 255, 42, "Berechnung von Bremskraft, Reibungskraft(evtl. ungenau) und Grenzdrehzahlen", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"Opt_Stadt", K::Option, "Fra_Typ", "Option1", 1440, 840, 255, 255, 44, "", false, NoPic, F::None, 0, O::Opt_Stadt, C::City, "KFZ-Stadt"},
    {"Lab_Stadt", K::Label, "Fra_Typ", "KFZ-Stadt", 1800, 840, 735, 255, 45, "Setzt Vmax auf 50 Km/h. Anpassen der Grenzdrehzahlen", false, NoPic, F::None, 0, O::None, C::None, ""},
    {"lab_Masse", K::Label, "Fra_Roll", "Masse", 120, 240, 855, 255, 8, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_Masse", K::Field, "Fra_Roll", "", 1200, 240, 1215, 285, 5, "", false, NoPic, F::tx_Masse, 0, O::None, C::None, "Masse"},
    {"lab_BremsK", K::Label, "Fra_Roll", "Bremskraft", 120, 600, 855, 255, 9, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_BremsK", K::Field, "Fra_Roll", "", 1200, 600, 1215, 285, 6, "", false, NoPic, F::tx_BremsK, 0, O::None, C::None, "Bremskraft"},
    {"Lab_ReibK", K::Label, "Fra_Roll", "Reibungskraft", 120, 960, 1095, 255, 10, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_ReibK", K::Field, "Fra_Roll", "", 1200, 960, 1215, 285, 7, "", false, NoPic, F::tx_ReibK, 0, O::None, C::None, "Reibungskraft"},
    {"lab_Ueber", K::Label, "Fra_Motor", "\u00DCbersetzung", 2760, 240, 975, 255, 27, "Bei \u00C4nderung der kleinsten \u00DCbersetzungen werden die Geschwindigkeiten neu berechnet", true, NoPic, F::None, 0, O::None, C::None, ""},
    {"lab_VMax", K::Label, "Fra_Motor", "V Max", 3960, 360, 855, 255, 30, kRatios, true, NoPic, F::None, 0, O::None, C::None, ""},
    {"lab_leistung", K::Label, "Fra_Motor", "Leistung", 120, 480, 855, 255, 15, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_Leistung", K::Field, "Fra_Motor", "", 1560, 480, 975, 285, 11, "", false, NoPic, F::tx_Leistung, 0, O::None, C::None, "Leistung"},
    {"tx_ueber_0", K::Field, "Fra_Motor", "", 2760, 480, 975, 285, 21, "", false, NoPic, F::tx_ueber, 0, O::None, C::None, "\u00DCbersetzung 1"},
    {"lab_rueck", K::Label, "Fra_Motor", "r\u00FCckw\u00E4rts", 3960, 600, 855, 255, 31, kRatios, true, NoPic, F::None, 0, O::None, C::None, ""},
    {"Lab_U1", K::Label, "Fra_Motor", "Grenzdrehzahl U1", 120, 840, 1335, 255, 16, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_U1", K::Field, "Fra_Motor", "", 1560, 840, 975, 285, 12, "", false, NoPic, F::tx_U1, 0, O::None, C::None, "Grenzdrehzahl U1"},
    {"tx_ueber_1", K::Field, "Fra_Motor", "", 2760, 840, 975, 285, 22, "", false, NoPic, F::tx_ueber, 1, O::None, C::None, "\u00DCbersetzung 2"},
    {"tx_VMaxR", K::Field, "Fra_Motor", "", 3960, 840, 855, 285, 28, "", false, NoPic, F::tx_VMaxR, 0, O::None, C::None, "V Max r\u00FCckw\u00E4rts"},
    {"lab_U2", K::Label, "Fra_Motor", "Grenzdrehzahl U2", 120, 1200, 1335, 255, 17, kNone, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_U2", K::Field, "Fra_Motor", "", 1560, 1200, 975, 285, 13, "", false, NoPic, F::tx_U2, 0, O::None, C::None, "Grenzdrehzahl U2"},
    {"tx_ueber_2", K::Field, "Fra_Motor", "", 2760, 1200, 975, 285, 23, "", false, NoPic, F::tx_ueber, 2, O::None, C::None, "\u00DCbersetzung 3"},
    {"lab_Vorw", K::Label, "Fra_Motor", "vorw\u00E4rts", 3960, 1320, 855, 255, 32, kRatios, true, NoPic, F::None, 0, O::None, C::None, ""},
    {"Lab_U3", K::Label, "Fra_Motor", "Grenzdrehzahl U3", 120, 1560, 1335, 255, 18, kSpeeds, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_U3", K::Field, "Fra_Motor", "", 1560, 1560, 975, 285, 14, "", false, NoPic, F::tx_U3, 0, O::None, C::None, "Grenzdrehzahl U3"},
    {"tx_ueber_3", K::Field, "Fra_Motor", "", 2760, 1560, 975, 285, 24, "", false, NoPic, F::tx_ueber, 3, O::None, C::None, "\u00DCbersetzung 4"},
    {"tx_VmaxV", K::Field, "Fra_Motor", "", 3960, 1560, 855, 285, 29, "", false, NoPic, F::tx_VmaxV, 0, O::None, C::None, "V Max vorw\u00E4rts"},
    {"tx_ueber_4", K::Field, "Fra_Motor", "", 2760, 1920, 975, 285, 25, "", false, NoPic, F::tx_ueber, 4, O::None, C::None, "\u00DCbersetzung 5"},
    {"lab_Treib", K::Label, "Fra_Motor", "Treibradradius", 120, 2280, 1335, 255, 20, kSpeeds, false, NoPic, F::None, 0, O::None, C::None, ""},
    {"tx_Treib", K::Field, "Fra_Motor", "", 1560, 2280, 975, 285, 19, "", false, NoPic, F::tx_Treib, 0, O::None, C::None, "Treibradradius"},
    {"tx_ueber_5", K::Field, "Fra_Motor", "", 2760, 2280, 975, 285, 26, "", false, NoPic, F::tx_ueber, 5, O::None, C::None, "\u00DCbersetzung 6"},
}};
// clang-format on

bool TakesFocus(const Control& c) {
    return c.kind == K::Button || c.kind == K::Field || c.kind == K::Option;
}

// A container's place in the focus order: that of the first control in it that takes
// the focus; a plain control's own Tab column.
int FocusKey(const Control& c) {
    if (c.kind != K::Frame) return c.tab;
    int key = INT_MAX;
    for (const Control& inner : kControls)
        if (inner.container == c.name && TakesFocus(inner)) key = std::min(key, inner.tab);
    return key;
}

}  // namespace

std::span<const Control> Controls() {
    return kControls;
}

const Control* FindControl(std::string_view name) {
    for (const Control& c : kControls)
        if (c.name == name) return &c;
    return nullptr;
}

std::vector<const Control*> CreationOrder() {
    // In a frame, what takes the focus comes first, so that its options are one run
    // (the run the arrow keys move within); labels never take the focus.
    auto byFocus = [](const Control* a, const Control* b) {
        return std::pair(!TakesFocus(*a), FocusKey(*a)) < std::pair(!TakesFocus(*b), FocusKey(*b));
    };
    std::vector<const Control*> top;
    for (const Control& c : kControls)
        if (c.container == kFormName) top.push_back(&c);
    std::sort(top.begin(), top.end(), byFocus);
    std::vector<const Control*> order;
    for (const Control* c : top) {
        order.push_back(c);
        if (c->kind != K::Frame) continue;
        std::vector<const Control*> inside;
        for (const Control& inner : kControls)
            if (inner.container == c->name) inside.push_back(&inner);
        std::sort(inside.begin(), inside.end(), byFocus);
        for (const Control* inner : inside) {
            const Control* label = inner->kind == K::Field ? LabelOf(*inner) : nullptr;
            if (label != nullptr) order.push_back(label);
            if (std::find(order.begin(), order.end(), inner) == order.end()) order.push_back(inner);
        }
    }
    return order;
}

const Control* LabelOf(const Control& control) {
    for (const Control& c : kControls)
        if (c.kind == K::Label && c.container == control.container &&
            c.caption == control.accessible)
            return &c;
    return nullptr;
}

int Pixels(int twips, int dpi) {
    const std::int64_t scaled = std::int64_t{twips} * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : (scaled - 720) / 1440);
}

int Pixels(int twips, int dpi, double scale) {
    return Pixels(static_cast<int>(std::lround(twips * scale)), dpi);
}

bool CaptionFits(const Control& control, TextExtent text, int dpi, double scale) {
    const int width = Pixels(control.width, dpi, scale);
    const int height = Pixels(control.height, dpi, scale);
    switch (control.kind) {
        case K::Label:
            return text.width <= width && text.height <= height;
        case K::Frame:
            // 8 pixels of indent and 4 of gap each side at 96 dots per inch, as drawn;
            // the caption stands above the frame's first row (240 twips down).
            return text.width + Pixels(360, dpi) <= width && text.height <= Pixels(240, dpi, scale);
        case K::Field:
            return text.height + Pixels(60, dpi) <= height;
        default:
            return true;
    }
}

LayoutFit FitLayout(int points, int dpi,
                    const std::function<std::vector<TextExtent>(int points)>& measure) {
    auto fits = [&](const std::vector<TextExtent>& extents, double scale) {
        for (std::size_t i = 0; i < kControls.size() && i < extents.size(); ++i)
            if (!CaptionFits(kControls[i], extents[i], dpi, scale)) return false;
        return true;
    };
    const int smallest = std::min(points, kSmallestPoints);
    std::vector<TextExtent> extents;
    for (int size = points; size >= smallest; --size) {
        extents = measure(size);
        if (fits(extents, 1.0)) return {size, 1.0};
    }
    // The factor the captions need, by the rule the Qt window grows by (in pixels at 96
    // dots per inch, rounded up), then a step more while whole pixels still fall short.
    auto at96 = [dpi](int pixels) { return (pixels * 96 + dpi - 1) / dpi; };
    int line = 0;
    for (const TextExtent& e : extents) line = std::max(line, e.height);
    double scale = LayoutScale(
        [&](std::string_view caption) {
            for (std::size_t i = 0; i < kControls.size() && i < extents.size(); ++i)
                if (kControls[i].caption == caption) return at96(extents[i].width);
            return 0;
        },
        at96(line));
    // A bound, so that a measure no layout can hold still ends.
    while (scale < 10 && !fits(extents, scale)) scale += 0.01;
    return {smallest, scale};
}

const std::string* ShownText(const EditorState& state, const Control& control) {
    if (control.kind != K::Field) return nullptr;
    return FieldText(const_cast<EditorState&>(state), control.field, control.index);
}

bool IsVisible(const EditorState& state, const Control& control) {
    if (control.name == "Fra_Motor") return state.Fra_Motor_visible;
    if (control.field == F::tx_ueber)
        return state.tx_ueber_visible.at(static_cast<std::size_t>(control.index));
    return true;
}

bool IsEnabled(const EditorState& state, const Control& control) {
    switch (control.option) {
        case O::Opt_DLok:
            return state.Opt_DLok_enabled;
        case O::Opt_Elok:
            return state.Opt_Elok_enabled;
        case O::Opt_waggon:
            return state.Opt_waggon_enabled;
        default:
            return true;
    }
}

bool IsChecked(const EditorState& state, const Control& control) {
    return control.kind == K::Option && control.option == state.selected;
}

bool IsTabStop(const EditorState& state, const Control& control) {
    if (control.kind == K::Option) return state.selected == O::None || IsChecked(state, control);
    return TakesFocus(control);
}

std::string_view AccessibleName(const Control& control) {
    if (!control.accessible.empty()) return control.accessible;
    return control.caption.empty() ? control.tooltip : control.caption;
}

std::string_view AccessibleDescription(const Control& control) {
    std::string_view description = control.tooltip;
    if (control.kind == K::Field || control.kind == K::Option) {
        // The label in the same frame whose caption begins the name ("V Max" for
        // "V Max vorwärts"), the longest when several do.
        const std::string_view name = AccessibleName(control);
        std::size_t best = 0;
        for (const Control& label : kControls) {
            if (label.kind == K::Label && label.container == control.container &&
                label.caption.size() > best && name.starts_with(label.caption)) {
                best = label.caption.size();
                description = label.tooltip;
            }
        }
    }
    return description;
}

double LayoutScale(const std::function<int(std::string_view)>& textWidth, int lineHeight) {
    double scale = 1;
    auto need = [&scale](double needed, int twips) {
        scale = std::max(scale, needed / (twips / 15.0));
    };
    for (const Control& c : kControls) {
        switch (c.kind) {
            case K::Label:
                need(textWidth(c.caption), c.width);
                need(lineHeight, c.height);
                break;
            case K::Frame:
                // The caption is indented and leaves a gap before the border goes on;
                // it sits above the frame's first row of controls (240 twips down).
                need(textWidth(c.caption) + 24, c.width);
                need(lineHeight, 240);
                break;
            case K::Field:
                need(lineHeight + 4, c.height);  // the text inside the field's border
                break;
            case K::Button:  // a picture, which grows with the layout
            case K::Option:  // a bare mark; its caption never shows
                break;
        }
    }
    return scale;
}

int ScaledPixels(int twips, double scale) {
    return Pixels(twips, 96, scale);
}

}  // namespace quorvel
