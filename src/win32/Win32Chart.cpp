#include "Win32Chart.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Texts.h"

namespace quorvel::win32 {

namespace {

constexpr wchar_t kClassName[] = L"Quorvel.Getriebe";
constexpr int kSaveButton = 2001;
constexpr int kCopyCommand = 2002;
constexpr int kView = 2003;

COLORREF Colour(const ChartColours& colours, ChartRole role) {
    const Rgb c = ColourOf(colours, role);
    return RGB(c.r, c.g, c.b);
}

int Round(double v) {
    return static_cast<int>(std::lround(v));
}

// The font's sizes as GDI measures them on the window's screen.
struct GdiMeasure : TextMeasure {
    explicit GdiMeasure(HDC dc) : dc(dc) {}
    double Width(std::string_view text) const override {
        const std::wstring wide = Wide(text);
        SIZE size = {};
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return size.cx;
    }
    double Height() const override {
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc, &metrics);
        return metrics.tmHeight;
    }
    HDC dc;
};

}  // namespace

Win32Chart::Win32Chart(HINSTANCE instance, HWND owner, SaveTextFile save)
    : instance_(instance), owner_(owner), save_(save ? std::move(save) : SaveChartFile) {}

Win32Chart::~Win32Chart() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_ != nullptr) DeleteObject(font_);
}

bool Win32Chart::Create() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(owner_, GCLP_HICON));
    windowClass.hIconSm = reinterpret_cast<HICON>(GetClassLongPtrW(owner_, GCLP_HICONSM));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    const UINT dpi = GetDpiForWindow(owner_);
    // Owned by the main window: above it, and destroyed with it.
    window_ =
        CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, Wide(texts::kChartTitle).c_str(),
                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        MulDiv(640, static_cast<int>(dpi), 96),
                        MulDiv(580, static_cast<int>(dpi), 96), owner_, nullptr, instance_, this);
    if (window_ == nullptr) return false;
    dpi_ = GetDpiForWindow(window_);
    // The picture is an owner-drawn static whose text is the picture's description:
    // what a screen reader reads for it.
    CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 0, 0, 0, 0, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kView)), instance_, nullptr);
    table_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, Wide(texts::kGearTableName).c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | LVS_REPORT |
                                 LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                             0, 0, 0, 0, window_, nullptr, instance_, nullptr);
    SendMessageW(table_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (std::size_t c = 0; c < kGearColumns.size(); ++c) {
        std::wstring title = Wide(kGearColumns[c]);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        column.fmt = c == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
        column.cx = 60;
        column.pszText = title.data();
        SendMessageW(table_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    saveButton_ = CreateWindowExW(
        0, WC_BUTTONW, Wide(texts::kSaveSvgButton).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, 0, 0, 0, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSaveButton)), instance_, nullptr);
    Layout();
    return true;
}

bool Win32Chart::Open(const EditorState& state) {
    if (window_ == nullptr && !Create()) return false;
    ShowWindow(window_, SW_SHOW);
    ShowState(state);
    SetForegroundWindow(window_);
    SetFocus(table_);
    return true;
}

bool Win32Chart::IsShown() const {
    return window_ != nullptr && IsWindowVisible(window_);
}

bool Win32Chart::Owns(HWND hwnd) const {
    return window_ != nullptr && hwnd != nullptr && (hwnd == window_ || IsChild(window_, hwnd));
}

void Win32Chart::ShowState(const EditorState& state) {
    if (!IsShown()) return;
    chart_ = ComputeGearChart(state);
    SetWindowTextW(GetDlgItem(window_, kView), Wide(chart_.description).c_str());
    SendMessageW(table_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(table_, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t r = 0; r < chart_.rows.size(); ++r) {
        for (std::size_t c = 0; c < kGearColumns.size(); ++c) {
            std::wstring cell = Wide(chart_.rows[r].cells[c]);
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = cell.data();
            SendMessageW(table_, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, r,
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    // Each column as wide as its title or its widest cell, whichever is wider.
    const int margin = MulDiv(16, static_cast<int>(dpi_), 96);
    for (std::size_t c = 0; c < kGearColumns.size(); ++c) {
        auto width = [&](std::string_view text) {
            const std::wstring wide = Wide(text);
            return static_cast<int>(SendMessageW(table_, LVM_GETSTRINGWIDTHW, 0,
                                                 reinterpret_cast<LPARAM>(wide.c_str())));
        };
        int widest = width(kGearColumns[c]);
        for (const GearRow& row : chart_.rows) widest = std::max(widest, width(row.cells[c]));
        SendMessageW(table_, LVM_SETCOLUMNWIDTH, c, widest + margin);
    }
    SendMessageW(table_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(table_, nullptr, TRUE);
    InvalidateRect(GetDlgItem(window_, kView), nullptr, FALSE);
}

// Font and places for the window's size and dots per inch.
void Win32Chart::Layout() {
    const int dpi = static_cast<int>(dpi_);
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_);
    const HFONT old = font_;
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    for (HWND child : {table_, saveButton_})
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (old != nullptr) DeleteObject(old);

    RECT client = {};
    GetClientRect(window_, &client);
    const int pad = MulDiv(8, dpi, 96);
    const int buttonHeight = MulDiv(25, dpi, 96), buttonWidth = MulDiv(150, dpi, 96);
    const int height = client.bottom - 2 * pad;
    const int tableHeight = std::max(MulDiv(100, dpi, 96), height * 2 / 5);
    const int buttonTop = client.bottom - pad - buttonHeight;
    const int tableTop = buttonTop - pad - tableHeight;
    const int width = client.right - 2 * pad;
    SetWindowPos(GetDlgItem(window_, kView), nullptr, pad, pad, width,
                 std::max(0, tableTop - 2 * pad), SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(table_, nullptr, pad, tableTop, width, tableHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(saveButton_, nullptr, client.right - pad - buttonWidth, buttonTop, buttonWidth,
                 buttonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(GetDlgItem(window_, kView), nullptr, FALSE);
}

const ChartColours& Win32Chart::Colours() const {
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    return ChartColoursFor({GetRValue(background), GetGValue(background), GetBValue(background)});
}

DisplayList Win32Chart::Picture() const {
    const HWND view = GetDlgItem(window_, kView);
    RECT area = {};
    GetClientRect(view, &area);
    const HDC dc = GetDC(view);
    const HGDIOBJ old = SelectObject(dc, font_);
    DisplayList list = DrawGearChart(chart_, area.right, area.bottom, GdiMeasure(dc));
    SelectObject(dc, old);
    ReleaseDC(view, dc);
    return list;
}

// The display list with GDI, into an image first so that a redraw does not flicker.
void Win32Chart::Paint(HDC target) const {
    const DisplayList list = Picture();
    const ChartColours& colours = Colours();
    const int width = Round(list.width), height = Round(list.height);
    const HDC dc = CreateCompatibleDC(target);
    const HBITMAP image = CreateCompatibleBitmap(target, std::max(width, 1), std::max(height, 1));
    const HGDIOBJ oldImage = SelectObject(dc, image);
    const HGDIOBJ oldFont = SelectObject(dc, font_);
    const double scale = dpi_ / 96.0;  // line widths are given for 96 dots per inch

    for (const ChartRect& r : list.rects) {
        const HBRUSH brush = CreateSolidBrush(Colour(colours, r.role));
        const RECT box = {Round(r.x), Round(r.y), Round(r.x + r.width), Round(r.y + r.height)};
        FillRect(dc, &box, brush);
        DeleteObject(brush);
    }
    auto pen = [&](ChartRole role, double lineWidth, bool dashed) {
        const LOGBRUSH brush = {BS_SOLID, Colour(colours, role), 0};
        return ExtCreatePen(PS_GEOMETRIC | (dashed ? PS_DASH : PS_SOLID) | PS_ENDCAP_FLAT,
                            static_cast<DWORD>(std::max(1, Round(lineWidth * scale))), &brush, 0,
                            nullptr);
    };
    for (const ChartLine& l : list.lines) {
        const HPEN p = pen(l.role, l.width, l.dashed);
        const HGDIOBJ old = SelectObject(dc, p);
        MoveToEx(dc, Round(l.from.x), Round(l.from.y), nullptr);
        LineTo(dc, Round(l.to.x), Round(l.to.y));
        SelectObject(dc, old);
        DeleteObject(p);
    }
    for (const ChartPolyline& line : list.polylines) {
        std::vector<POINT> points;
        for (const ChartPoint& at : line.points) points.push_back({Round(at.x), Round(at.y)});
        const HPEN p = pen(line.role, line.width, line.dashed);
        const HGDIOBJ old = SelectObject(dc, p);
        Polyline(dc, points.data(), static_cast<int>(points.size()));
        SelectObject(dc, old);
        DeleteObject(p);
    }
    SetBkMode(dc, TRANSPARENT);
    for (const ChartText& t : list.texts) {
        const std::wstring text = Wide(t.text);
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        const int column = static_cast<int>(t.anchor) % 3, row = static_cast<int>(t.anchor) / 3;
        const int x = Round(t.at.x - size.cx * column / 2.0);
        const int y = Round(t.at.y - size.cy * row / 2.0);
        SetTextColor(dc, Colour(colours, t.role));
        TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
    }
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldImage);
    DeleteObject(image);
    DeleteDC(dc);
}

bool Win32Chart::PreTranslate(MSG& message) {
    if (!Owns(message.hwnd)) return false;
    if (message.message == WM_KEYDOWN && message.wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
        CopyTable();
        return true;
    }
    return IsDialogMessageW(window_, &message);
}

void Win32Chart::CopyTable() const {
    const std::wstring text = Wide(GearTableText(chart_, "\r\n"));
    if (!OpenClipboard(window_)) return;
    EmptyClipboard();
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    if (const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    }
    CloseClipboard();
}

std::string Win32Chart::SaveSvg(const std::string& path) const {
    return save_(path, ChartSvg(Picture(), Colours()));
}

void Win32Chart::SaveSvgAs() {
    wchar_t path[MAX_PATH] = {};
    Wide(texts::kSvgDefaultName).copy(path, MAX_PATH - 1);
    // The filter is the description and the pattern, each ended by a NUL, then a NUL.
    const std::wstring filter = Wide(texts::kSvgFilter) + L'\0' + L"*.svg" + L'\0';
    const std::wstring title = Wide(texts::kSaveSvgTitle);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"svg";
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) return;
    const std::string error = SaveSvg(Utf8(path));
    if (!error.empty())
        MessageBoxW(window_, Wide(texts::SvgNotSaved(Utf8(path), error)).c_str(),
                    Wide(texts::kChartTitle).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

LRESULT CALLBACK Win32Chart::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Chart*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (self->window_ == nullptr) self->window_ = hwnd;  // messages before CreateWindowEx returns
    return self->OnMessage(message, wParam, lParam);
}

LRESULT Win32Chart::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            if (table_ != nullptr) Layout();
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID != kView) break;
            Paint(item->hDC);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == kSaveButton) SaveSvgAs();
            if (LOWORD(wParam) == kCopyCommand) CopyTable();
            if (LOWORD(wParam) == IDCANCEL) ShowWindow(window_, SW_HIDE);  // Escape
            return 0;
        case WM_CONTEXTMENU: {
            const HMENU menu = CreatePopupMenu();
            AppendMenuW(menu, MF_STRING, kCopyCommand, Wide(texts::kCopyTableMenuItem).c_str());
            AppendMenuW(menu, MF_STRING, kSaveButton, Wide(texts::kSaveSvgButton).c_str());
            POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (at.x == -1 && at.y == -1) {  // from the keyboard
                at = {0, 0};
                ClientToScreen(window_, &at);
            }
            TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
            DestroyMenu(menu);
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            const auto* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_CLOSE:
            // Kept for the next Strg+G; the main window's end destroys it.
            ShowWindow(window_, SW_HIDE);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace quorvel::win32
