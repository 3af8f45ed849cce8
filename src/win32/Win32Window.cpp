#include "Win32Window.h"

#include <commctrl.h>
#include <initguid.h>  // the accessibility GUIDs, defined here once
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>

#include "Mod_Registry.h"
#include "Texts.h"
#include "Win32Chart.h"
#include "resource.h"

namespace quorvel::win32 {

namespace {

constexpr wchar_t kClassName[] = L"Quorvel.frm_Quorvel";
constexpr int kFirstId = 100;   // clear of IDOK and IDCANCEL
constexpr int kSmallIcon = 16;  // the class's small icon's size in pixels
// The button that has the focus at the start, and so is the one Enter clicks.
constexpr std::string_view kStartFocus = "bu_open";
// The commands of the keyboard shortcuts, below the controls' numbers.
constexpr WORD kShortcutOpen = 10;
constexpr WORD kShortcutSave = 11;
constexpr WORD kShortcutChart = 12;
// The system menu's item for the chart; the system's own items lie at 0xF000 and up.
constexpr UINT kMenuChart = 0x0100;

int Id(const quorvel::Control& c) {
    return kFirstId + static_cast<int>(&c - Controls().data());
}

// Which physical key a message is about: the scan code with its extended bit (the
// keypad's Enter has it, Return has not) beside the virtual-key code.
std::uint64_t KeyId(WPARAM key, LPARAM flags) {
    return ((static_cast<std::uint64_t>(flags) >> 16) & 0x1FF) << 16 | (key & 0xFFFF);
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

Win32Window::Win32Window(WindowServices services)
    : owned_([&] {
          if (!services.format) services.format = std::make_unique<Win32NumberFormat>();
          if (!services.messages) services.messages = std::make_unique<Win32MessageSink>();
          if (!services.dialog) services.dialog = std::make_unique<Win32FileDialog>();
          if (!services.host) services.host = std::make_unique<RegistryHostLookup>();
          return std::move(services);
      }()),
      form_(Services{*owned_.format, *owned_.messages, *owned_.dialog, *owned_.host}, *this) {
    sink_ = dynamic_cast<Win32MessageSink*>(owned_.messages.get());
    dialog_ = dynamic_cast<Win32FileDialog*>(owned_.dialog.get());
}

Win32Window::~Win32Window() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_ != nullptr) DeleteObject(font_);
    if (pathBrush_ != nullptr) DeleteObject(pathBrush_);
    if (shortcuts_ != nullptr) DestroyAcceleratorTable(shortcuts_);
    for (HICON picture : pictures_)
        if (picture != nullptr) DestroyIcon(picture);
    for (HICON icon : icons_)
        if (icon != nullptr) DestroyIcon(icon);
}

bool Win32Window::Create(HINSTANCE instance, int show) {
    instance_ = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW known = {};
    known.cbSize = sizeof known;
    if (!GetClassInfoExW(instance, kClassName, &known) && !Register(instance)) return false;

    // Fitted for the system's dots per inch first, so that the window is made at its
    // size; fitted again should the system open it where the dots per inch differ.
    dpi_ = GetDpiForSystem();
    FitFont();
    // The client area is the layout's; the system chooses where the window opens.
    SIZE frame = FrameSize();
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, Wide(kFormCaption).c_str(),
                              WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, frame.cx, frame.cy,
                              nullptr, nullptr, instance, this);
    if (window_ == nullptr) return false;
    if (sink_ != nullptr) sink_->SetOwner(window_);
    if (dialog_ != nullptr) dialog_->SetOwner(window_);
    if (const UINT dpi = GetDpiForWindow(window_); dpi != dpi_) {
        dpi_ = dpi;
        DeleteObject(FitFont());
        frame = FrameSize();
    }
    pathBrush_ = CreateSolidBrush(RGB(kPathBackground[0], kPathBackground[1], kPathBackground[2]));
    MakeControls();
    SetPictures();
    RECT made = {};
    GetWindowRect(window_, &made);
    if (made.right - made.left != frame.cx || made.bottom - made.top != frame.cy)
        SetWindowPos(window_, nullptr, 0, 0, frame.cx, frame.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', kShortcutOpen},
                    {FCONTROL | FVIRTKEY, 'S', kShortcutSave},
                    {FCONTROL | FVIRTKEY, 'G', kShortcutChart}};
    shortcuts_ = CreateAcceleratorTableW(keys, 3);
    const HMENU system = GetSystemMenu(window_, FALSE);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, kMenuChart, Wide(texts::kChartMenuItem).c_str());
    DragAcceptFiles(window_, TRUE);

    form_.Load();
    ShowWindow(window_, show);
    // Painted whole now, controls included, so that a box shown next stands over it.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Through the dialog handling, so that the open button is also the one Enter clicks.
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(kStartFocus)), TRUE);
    return true;
}

// A dialog's window class, so that the system's dialog handling moves the focus with Tab
// and the arrow keys and lets Enter click the focused button. Registered once per
// program, so its icons are loaded only then.
bool Win32Window::Register(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_QUORVEL), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_QUORVEL), IMAGE_ICON, kSmallIcon, kSmallIcon, LR_SHARED));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

SIZE Win32Window::FrameSize() const {
    const int dpi = static_cast<int>(dpi_);
    RECT frame = {0, 0, Pixels(kClientWidth, dpi, fit_.scale),
                  Pixels(kClientHeight, dpi, fit_.scale)};
    AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT, dpi_);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

HWND Win32Window::Control(std::string_view name) const {
    for (const Made& made : made_)
        if (made.control->name == name) return made.hwnd;
    return nullptr;
}

const Win32Window::Made* Win32Window::Find(HWND hwnd) const {
    for (const Made& made : made_)
        if (made.hwnd == hwnd) return &made;
    return nullptr;
}

// Every control of the table, in the order that is also the Tab order. Frames hold
// their controls, so hiding a frame hides what it holds.
void Win32Window::MakeControls() {
    tooltips_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    bool inOptionRun = false;
    for (const quorvel::Control* c : CreationOrder()) {
        const HWND parent = c->container == kFormName ? window_ : Control(c->container);
        const wchar_t* windowClass = WC_BUTTONW;
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        std::string_view text = c->caption;
        // Each control is a group of its own, except the options of one frame, which
        // form the one group the arrow keys move within.
        if (c->kind != ControlKind::Option || !inOptionRun) style |= WS_GROUP;
        inOptionRun = c->kind == ControlKind::Option;
        switch (c->kind) {
            case ControlKind::Button:
                // The start's button is made the default one, as the focus will make it,
                // so that giving it the focus draws it only once.
                style |= (c->name == kStartFocus ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_ICON |
                         WS_TABSTOP;
                text = AccessibleName(*c);  // what a screen reader reads; the picture shows
                break;
            case ControlKind::Field:
                windowClass = WC_EDITW;
                style |= ES_AUTOHSCROLL | WS_TABSTOP;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case ControlKind::Frame:
                style |= BS_GROUPBOX | WS_CLIPCHILDREN;
                exStyle = WS_EX_CONTROLPARENT;
                break;
            case ControlKind::Label:
                windowClass = WC_STATICW;
                // Notify, so that the tooltip sees the mouse over it.
                style |= SS_NOTIFY | (c->centred ? SS_CENTER : SS_LEFTNOWORDWRAP);
                break;
            case ControlKind::Option:
                // The bare mark (Place makes it no wider), so that its text never shows;
                // the text is what a screen reader reads for it, the caption of the
                // label to its right.
                style |= BS_AUTORADIOBUTTON;
                text = AccessibleName(*c);
                break;
        }
        const RECT r = Bounds(*c);
        const HWND hwnd = CreateWindowExW(
            exStyle, windowClass, Wide(text).c_str(), style, r.left, r.top, r.right, r.bottom,
            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id(*c))), instance_, nullptr);
        // Not drawn yet, so nothing to draw again.
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        made_.push_back({c, hwnd});
        if (c->kind == ControlKind::Field)
            SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // a field holds any length
        if (c->kind == ControlKind::Frame || c->kind == ControlKind::Option ||
            c->kind == ControlKind::Field)
            Subclass(made_.back());
        AddTooltip(made_.back());
    }
}

void Win32Window::AddTooltip(const Made& made) {
    if (made.control->tooltip.empty()) return;
    std::wstring tip = Wide(made.control->tooltip);
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = GetParent(made.hwnd);
    tool.uId = reinterpret_cast<UINT_PTR>(made.hwnd);
    tool.lpszText = tip.data();
    SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The layout's face when the system has it (a font mapped to another face does not
// count: its captions are wider), else the system's message font; at its own size for
// the window's dots per inch.
LOGFONTW Win32Window::ChooseFont(HDC dc) const {
    const int dpi = static_cast<int>(dpi_);
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(kFontPoints, dpi, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, kFontFace, LF_FACESIZE);
    const HFONT probe = CreateFontIndirectW(&font);
    const HGDIOBJ old = SelectObject(dc, probe);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteObject(probe);
    if (lstrcmpiW(face, kFontFace) == 0) return font;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return font;
    // Its height is for the system's dots per inch; the size in points holds for any.
    const int points = MulDiv(-metrics.lfMessageFont.lfHeight, 72, GetDpiForSystem());
    font = metrics.lfMessageFont;
    font.lfHeight = -MulDiv(points > 0 ? points : kFontPoints, dpi, 72);
    return font;
}

// The font for the window's present dots per inch, shrunk, or else the layout grown,
// until every caption shows whole. The old font is the caller's to delete once the
// controls let go of it.
HFONT Win32Window::FitFont() {
    const int dpi = static_cast<int>(dpi_);
    const HDC dc = GetDC(window_);  // the screen's before the window is made
    const LOGFONTW font = ChooseFont(dc);
    auto sized = [&](int points) {
        LOGFONTW at = font;
        at.lfHeight = -MulDiv(points, dpi, 72);
        return CreateFontIndirectW(&at);
    };
    // Only labels and frames show their captions.
    const auto measure = [&](int points) {
        const HFONT trial = sized(points);
        const HGDIOBJ old = SelectObject(dc, trial);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc, &metrics);
        std::vector<TextExtent> extents;
        for (const quorvel::Control& c : Controls()) {
            SIZE size = {};
            if (c.kind == ControlKind::Label || c.kind == ControlKind::Frame) {
                const std::wstring caption = Wide(c.caption);
                GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
            }
            extents.push_back({static_cast<int>(size.cx), static_cast<int>(metrics.tmHeight)});
        }
        SelectObject(dc, old);
        DeleteObject(trial);
        return extents;
    };
    fit_ = FitLayout(MulDiv(-font.lfHeight, 72, dpi), dpi, measure);
    ReleaseDC(window_, dc);
    const HFONT old = font_;
    font_ = sized(fit_.points);
    return old;
}

// A control's place and size in pixels: the layout's, scaled by the fit.
RECT Win32Window::Bounds(const quorvel::Control& c) const {
    const int dpi = static_cast<int>(dpi_);
    int width = Pixels(c.width, dpi, fit_.scale);
    // An option's text begins a little right of its mark; the layout's width for it
    // leaves a sliver of the text showing at some sizes.
    if (c.kind == ControlKind::Option)
        width = std::min(width, GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi_));
    return {Pixels(c.left, dpi, fit_.scale), Pixels(c.top, dpi, fit_.scale), width,
            Pixels(c.height, dpi, fit_.scale)};
}

// Everything again for new dots per inch.
void Win32Window::Place() {
    const HFONT old = FitFont();
    for (const Made& made : made_) {
        const RECT r = Bounds(*made.control);
        SetWindowPos(made.hwnd, nullptr, r.left, r.top, r.right, r.bottom,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(made.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    if (old != nullptr) DeleteObject(old);
    SetPictures();
}

// The buttons' pictures, the window's icons and the tooltips' width for the
// window's dots per inch; the icon files hold each picture drawn for 16, 24, 32 and 48
// pixels.
void Win32Window::SetPictures() {
    const int size = GetSystemMetricsForDpi(SM_CXSMICON, dpi_);
    for (const Made& made : made_) {
        const Picture which = made.control->picture;
        if (which == Picture::None) continue;
        HICON& picture = pictures_[which == Picture::Open ? 0 : 1];
        if (picture != nullptr) DestroyIcon(picture);
        picture = static_cast<HICON>(
            LoadImageW(instance_, MAKEINTRESOURCEW(which == Picture::Open ? IDI_OPEN : IDI_SAVE),
                       IMAGE_ICON, size, size, 0));
        SendMessageW(made.hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture));
    }
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, MulDiv(400, static_cast<int>(dpi_), 96));
    SetIcons();
}

// The window's icons in the sizes the title bar and the task switcher want at the
// window's dots per inch; the class's serve where they have that size.
void Win32Window::SetIcons() {
    const int metric[2] = {SM_CXSMICON, SM_CXICON};
    const int classSize[2] = {kSmallIcon, GetSystemMetrics(SM_CXICON)};
    const int classIcon[2] = {GCLP_HICONSM, GCLP_HICON};
    for (int i = 0; i < 2; ++i) {
        const int size = GetSystemMetricsForDpi(metric[i], dpi_);
        const auto shared = size == classSize[i]
                                ? reinterpret_cast<HICON>(GetClassLongPtrW(window_, classIcon[i]))
                                : nullptr;
        const HICON loaded =
            shared != nullptr
                ? nullptr
                : static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QUORVEL),
                                                IMAGE_ICON, size, size, 0));
        SendMessageW(window_, WM_SETICON, i == 0 ? ICON_SMALL : ICON_BIG,
                     reinterpret_cast<LPARAM>(shared != nullptr ? shared : loaded));
        if (icons_[i] != nullptr) DestroyIcon(icons_[i]);
        icons_[i] = loaded;  // the class's are shared, not the window's to destroy
    }
}

// What Windows' accessibility cannot take from the controls themselves: the names of
// the fields no label names, and the descriptions (the labels' tooltips, a field's or an
// option's that of the label naming it). Given once, when a client first asks, so that a start
// without a screen reader pays nothing for it.
void Win32Window::Annotate() {
    if (annotated_) return;
    annotated_ = true;
    // COM may already run on this thread in another mode; it serves either way.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return;
    IAccPropServices* properties = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&properties)))) {
        for (const Made& made : made_) {
            const quorvel::Control& c = *made.control;
            auto set = [&](const MSAAPROPID& property, std::string_view text) {
                if (!text.empty())
                    properties->SetHwndPropStr(made.hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, property, Wide(text).c_str());
            };
            if (c.kind == ControlKind::Field || c.kind == ControlKind::Option)
                set(PROPID_ACC_NAME, AccessibleName(c));
            if (c.kind != ControlKind::Button)
                set(PROPID_ACC_DESCRIPTION, AccessibleDescription(c));
        }
        properties->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

void Win32Window::OpenPath(const std::optional<std::string>& path) {
    form_.OpenPath(path);
}

void Win32Window::OpenGiven(const std::string& path) {
    form_.OpenGiven(path);
}

void Win32Window::OpenArguments(const std::vector<std::string>& arguments) {
    form_.OpenArguments(arguments);
}

Win32Chart* Win32Window::OpenChart() {
    if (!chart_) chart_ = std::make_unique<Win32Chart>(instance_, window_);
    form_.KeysTaken();  // the release of Ctrl is not the field's
    return chart_->Open(form_.state()) ? chart_.get() : nullptr;
}

bool Win32Window::PreTranslate(MSG& message) {
    if (window_ == nullptr) return false;
    // The chart's keys are its own: Ctrl+S there saves no property file.
    if (chart_ && chart_->Owns(message.hwnd)) return chart_->PreTranslate(message);
    // The tooltips see the mouse over the labels through the loop rather than through a
    // subclass on each label: adding 18 subclassed tools was a third of the start-up.
    if (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST)
        SendMessageW(tooltips_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&message));
    return TranslateAcceleratorW(window_, shortcuts_, &message) ||
           IsDialogMessageW(window_, &message);
}

void Win32Window::OnDrop(WPARAM wParam) {
    const auto drop = reinterpret_cast<HDROP>(wParam);
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, 0, path.data(), length + 1);
    path.resize(length);
    DragFinish(drop);
    const Made* focused = Find(GetFocus());
    form_.OpenFile(Utf8(path), focused != nullptr ? focused->control : nullptr);
}

// Only what differs is set: each call that changes a control costs the system a round
// trip and often a paint, and a text set again would move the caret.
void Win32Window::Show(const EditorState& state) {
    if (chart_) chart_->ShowState(state);
    for (const Made& made : made_) {
        const quorvel::Control& c = *made.control;
        if (const std::string* text = ShownText(state, c)) {
            // An empty field needs no reading to be compared with an empty text.
            if (!text->empty() || GetWindowTextLengthW(made.hwnd) != 0) {
                const std::wstring wide = Wide(*text);
                if (TextOf(made.hwnd) != wide) SetWindowTextW(made.hwnd, wide.c_str());
            }
        }
        const bool visible = IsVisible(state, c);
        if (((GetWindowLongW(made.hwnd, GWL_STYLE) & WS_VISIBLE) != 0) != visible)
            ShowWindow(made.hwnd, visible ? SW_SHOWNA : SW_HIDE);
        const bool enabled = IsEnabled(state, c);
        if ((IsWindowEnabled(made.hwnd) != FALSE) != enabled) EnableWindow(made.hwnd, enabled);
        if (c.kind != ControlKind::Option) continue;
        const WPARAM check = IsChecked(state, c) ? BST_CHECKED : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageW(made.hwnd, BM_GETCHECK, 0, 0)) != check)
            SendMessageW(made.hwnd, BM_SETCHECK, check, 0);
        // The Tab key enters the option group at its selected option.
        const LONG_PTR style = GetWindowLongPtrW(made.hwnd, GWL_STYLE);
        const LONG_PTR wanted = IsTabStop(state, c) ? style | WS_TABSTOP : style & ~WS_TABSTOP;
        if (wanted != style) SetWindowLongPtrW(made.hwnd, GWL_STYLE, wanted);
    }
    // A field hidden while it had the focus leaves it nowhere; the keyboard would reach
    // no control. The open button takes it, as at the start.
    const HWND focus = GetFocus();
    if (GetActiveWindow() == window_ && (focus == nullptr || focus == window_ ||
                                         (IsChild(window_, focus) && !IsWindowVisible(focus))))
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(kStartFocus)), TRUE);
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->window_ != hwnd) return DefDlgProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT Win32Window::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(wParam, lParam);
            return 0;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == Control("tx_Datei")) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetBkColor(dc, RGB(kPathBackground[0], kPathBackground[1], kPathBackground[2]));
                return reinterpret_cast<LRESULT>(pathBrush_);
            }
            break;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            Place();
            const auto* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_GETOBJECT:
            // An accessibility client is asking: give it the names and descriptions.
            Annotate();
            break;
        case WM_GETMINMAXINFO: {
            // Never smaller than the layout, so that no control covers another.
            const SIZE frame = FrameSize();
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {frame.cx, frame.cy};
            return 0;
        }
        case WM_DROPFILES:
            OnDrop(wParam);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != kMenuChart) break;
            OpenChart();
            return 0;
        case WM_CLOSE:
            // Closing ends the program at once; nothing asks about unsaved values.
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            window_ = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefDlgProcW(window_, message, wParam, lParam);
}

void Win32Window::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam == 0 && HIWORD(wParam) == 1) {  // a keyboard shortcut
        const Made* focused = Find(GetFocus());
        const WORD id = LOWORD(wParam);
        if (id == kShortcutChart) OpenChart();
        if (id == kShortcutOpen || id == kShortcutSave)
            form_.Shortcut(id == kShortcutOpen ? Command::Open : Command::Save,
                           focused != nullptr ? focused->control : nullptr);
        return;
    }
    const Made* made = Find(reinterpret_cast<HWND>(lParam));
    if (made == nullptr) return;  // the dialog handling's IDOK and IDCANCEL run nothing
    const WORD code = HIWORD(wParam);
    switch (made->control->kind) {
        case ControlKind::Button:
        case ControlKind::Option:
            // A radio button reports BN_CLICKED when the user chooses it by mouse or
            // keyboard, never when the program checks it.
            if (code == BN_CLICKED) form_.Clicked(*made->control);
            break;
        case ControlKind::Field:
            if (code == EN_CHANGE) form_.TextEdited(*made->control, Utf8(TextOf(made->hwnd)));
            break;
        default:
            break;
    }
}

// The frames', options' and fields' own handling comes before their class's. Not through
// SetWindowSubclass: that looks its chain up in a window property at every message, which
// Wine asks its server for; with 26 controls so made, that was a third of the start-up.
void Win32Window::Subclass(Made& made) {
    SetWindowLongPtrW(made.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    made.own = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        made.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Window::ControlProc)));
}

LRESULT Win32Window::Own(const Made& made, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(made.own, made.hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Window::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const Made* made = self != nullptr ? self->Find(hwnd) : nullptr;
    if (made == nullptr || made->own == nullptr)
        return CallWindowProcW(reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd, GCLP_WNDPROC)),
                               hwnd, message, wParam, lParam);
    switch (made->control->kind) {
        case ControlKind::Frame:
            return self->OnFrame(*made, message, wParam, lParam);
        case ControlKind::Option:
            return self->OnOption(*made, message, wParam, lParam);
        default:
            return self->OnField(*made, message, wParam, lParam);
    }
}

// A frame holds controls, so their notifications reach it: they go on to the window.
LRESULT Win32Window::OnFrame(const Made& frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return SendMessageW(window_, message, wParam, lParam);
        default:
            break;
    }
    return Own(frame, message, wParam, lParam);
}

// An option draws its focus around its text, which it does not show: it is drawn around
// the mark instead, so that the keyboard's place in the group can be seen.
LRESULT Win32Window::OnOption(const Made& option, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = option.hwnd;
    switch (message) {
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_UPDATEUISTATE: {
            const LRESULT result = Own(option, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case WM_PAINT: {
            const LRESULT result = Own(option, message, wParam, lParam);
            const bool hidden = (SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
            if (GetFocus() == hwnd && !hidden) {
                RECT mark;
                GetClientRect(hwnd, &mark);
                const HDC dc = GetDC(hwnd);
                DrawFocusRect(dc, &mark);
                ReleaseDC(hwnd, dc);
            }
            return result;
        }
        default:
            break;
    }
    return Own(option, message, wParam, lParam);
}

LRESULT Win32Window::OnField(const Made& field, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            // Enter belongs to the field, not to the dialog handling; Tab still moves on.
            LRESULT code = Own(field, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key != nullptr && (key->message == WM_KEYDOWN || key->message == WM_CHAR) &&
                key->wParam == VK_RETURN)
                code |= DLGC_WANTALLKEYS;
            return code;
        }
        case WM_GETOBJECT:
            Annotate();  // a screen reader asking for a field first
            break;
        case WM_CHAR:
            if (wParam == '\r' || wParam == '\n') return 0;  // a single line: no beep
            break;
        case WM_KEYDOWN:
            form_.KeyPressed(*field.control, KeyId(wParam, lParam), (lParam >> 30) & 1);
            break;
        case WM_KEYUP: {
            const LRESULT result = Own(field, message, wParam, lParam);
            form_.KeyReleased(*field.control, KeyId(wParam, lParam), static_cast<int>(wParam),
                              false);
            return result;
        }
        case WM_KILLFOCUS: {
            const LRESULT result = Own(field, message, wParam, lParam);
            // A message box or another program takes the focus only for a while.
            const auto to = reinterpret_cast<HWND>(wParam);
            const bool here =
                window_ != nullptr && to != nullptr && (to == window_ || IsChild(window_, to));
            form_.FocusLost(*field.control,
                            here ? FocusTarget::ThisWindow : FocusTarget::OtherWindow);
            return result;
        }
        default:
            break;
    }
    return Own(field, message, wParam, lParam);
}

}  // namespace quorvel::win32
