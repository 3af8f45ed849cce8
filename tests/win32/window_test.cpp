#include <gtest/gtest.h>

#include "Win32Chart.h"
#include "Win32Window.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <functional>
#include <tuple>

#include "user_sequences.h"

namespace quorvel::win32 {
namespace {

using sequences::Act;

std::wstring TextOf(HWND hwnd) {
    std::wstring text(4096, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), 4096)));
    return text;
}

std::string Text(HWND hwnd) {
    return Utf8(TextOf(hwnd));
}

// The window made for real with fake dialogs; input arrives as the program's loop
// hands it on, through the dialog handling.
class Win32Test : public testing::Test, public sequences::Driver {
  protected:
    void SetUp() override { Make(); }
    void TearDown() override { window.reset(); }
    void Make() {
        window.reset();
        sink = new RecordingSink;
        dialog = new sequences::Dialog;
        window = std::make_unique<Win32Window>(WindowServices{
            std::make_unique<FakeFormat>(".", ","), std::unique_ptr<MessageSink>(sink),
            std::unique_ptr<FileDialog>(dialog), std::make_unique<sequences::NoHost>()});
        ASSERT_TRUE(window->Create(GetModuleHandleW(nullptr), SW_SHOW));
        Pump();
    }
    void Pump() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message != WM_QUIT && !window->PreTranslate(m)) DispatchMessageW(&m);
        }
    }
    HWND W(std::string_view name) {
        const HWND hwnd = window->Control(name);
        EXPECT_NE(hwnd, nullptr) << name;
        return hwnd;
    }
    // A key as the keyboard delivers it: press and release, with a modifier (Shift,
    // Ctrl) held for the press. The loop's dialog handling makes the character.
    void Key(HWND to, UINT vk, UINT modifier = 0, bool extended = false, bool press = true) {
        const LPARAM flags =
            1 | LPARAM(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16 | LPARAM(extended) << 24;
        BYTE keys[256] = {};
        keys[modifier] = 0x80;
        SetKeyboardState(keys);
        if (press) PostMessageW(to, WM_KEYDOWN, vk, flags);
        Pump();
        keys[modifier] = 0;
        SetKeyboardState(keys);
        PostMessageW(to, WM_KEYUP, vk, flags | LPARAM(3) << 30);
        Pump();
    }
    void Click(HWND hwnd) {
        wchar_t name[16] = {};
        GetClassNameW(hwnd, name, 16);
        if (std::wstring_view(name) == L"Edit") {
            SetFocus(hwnd);
        } else if (std::wstring_view(name) == L"Button") {
            SendMessageW(hwnd, BM_CLICK, 0, 0);
        } else {
            SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
        }
        Pump();
    }
    void Act(const sequences::Step& step, const std::string& path) override {
        const HWND w = step.control.empty() ? nullptr : W(step.control);
        switch (step.act) {
            case Act::Open:
                dialog->chosen = path;
                Click(W("bu_open"));
                break;
            case Act::Load:
                window->OpenGiven(path);
                break;
            case Act::Click:
                Click(w);
                break;
            case Act::Type:
                Click(w);
                SendMessageW(w, EM_SETSEL, 0, -1);
                for (const wchar_t ch : Wide(step.text)) {
                    const SHORT key = VkKeyScanW(ch);
                    Key(w, LOBYTE(key), HIBYTE(key) & 1 ? VK_SHIFT : 0);
                }
                break;
            case Act::Enter:
            case Act::KeypadEnter:
                Key(w, VK_RETURN, 0, step.act == Act::KeypadEnter);
                break;
            case Act::StrayEnter:
                Key(w, VK_RETURN, 0, false, false);
                break;
            case Act::SaveKeys:
            case Act::OpenKeys:
                dialog->chosen = "";
                Key(GetFocus(), step.act == Act::SaveKeys ? 'S' : 'O', VK_CONTROL);
                break;
            case Act::Drop: {
                // The shell's drop: a DROPFILES record followed by the path and two NULs.
                const std::wstring file = Wide(path);
                const HGLOBAL drop =
                    GlobalAlloc(GHND, sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t));
                auto* record = static_cast<DROPFILES*>(GlobalLock(drop));
                record->pFiles = sizeof(DROPFILES);
                record->fWide = TRUE;
                file.copy(reinterpret_cast<wchar_t*>(record + 1), file.size());
                GlobalUnlock(drop);
                PostMessageW(window->handle(), WM_DROPFILES, WPARAM(drop), 0);
                Pump();
                break;
            }
            case Act::Borrow: {
                // Another window takes the focus and gives it back.
                const HWND other = CreateWindowExW(0, L"Edit", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50,
                                                   20, nullptr, nullptr, nullptr, nullptr);
                SetFocus(other);
                Pump();
                DestroyWindow(other);
                SetFocus(w);
                Pump();
                break;
            }
        }
    }
    std::string Text(const std::string& name) override { return win32::Text(W(name)); }
    bool Shown(const std::string& name) override { return IsWindowVisible(W(name)); }
    bool Selected(const std::string& name) override {
        return SendMessageW(W(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool Enabled(const std::string& name) override { return IsWindowEnabled(W(name)); }
    // The names of the controls the Tab key visits from bu_open until it comes back.
    std::string TabCycle() {
        std::string names;
        HWND at = W("bu_open");
        do {
            for (const quorvel::Control& c : Controls())
                if (window->Control(c.name) == at)
                    names += (names.empty() ? "" : " ") + std::string(c.name);
            at = GetNextDlgTabItem(window->handle(), at, FALSE);
        } while (at != W("bu_open") && names.size() < 1000);
        return names;
    }

    TempFolder folder;
    RecordingSink* sink = nullptr;
    sequences::Dialog* dialog = nullptr;
    std::unique_ptr<Win32Window> window;
};

// Run in prefixes with and without Wine's fonts, at 96 and 144 dots per inch
// (scripts/test): every caption shows whole in its control's own font.
TEST_F(Win32Test, EveryControlAsTheTableGivesIt) {
    const int dpi = static_cast<int>(window->dpi());
    const double scale = window->fit().scale;
    const HDC dc = GetDC(window->handle());
    // The layout's face whenever the system has it.
    const HFONT layoutFace = CreateFontW(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                                         DEFAULT_CHARSET, 0, 0, 0, 0, kFontFace);
    wchar_t face[2][LF_FACESIZE] = {};
    for (int i = 0; i < 2; ++i) {
        SelectObject(dc, i == 0 ? layoutFace : window->font());
        GetTextFaceW(dc, LF_FACESIZE, face[i]);
    }
    DeleteObject(layoutFace);
    EXPECT_TRUE(std::wstring(face[0]) != kFontFace || std::wstring(face[1]) == kFontFace);
    EXPECT_GE(window->fit().points, kSmallestPoints);
    const wchar_t* classes[] = {L"Button", L"Edit", L"Button", L"Static", L"Button"};
    for (const quorvel::Control& c : Controls()) {
        SCOPED_TRACE(std::string(c.name) + " in " + Utf8(face[1]) + " at " + std::to_string(dpi));
        const HWND h = W(c.name);
        const HWND in = c.container == kFormName ? window->handle() : W(c.container);
        ASSERT_EQ(GetParent(h), in);
        wchar_t name[16] = {};
        GetClassNameW(h, name, 16);
        EXPECT_EQ(std::wstring(name), classes[static_cast<int>(c.kind)]);
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(HWND_DESKTOP, in, reinterpret_cast<POINT*>(&r), 2);
        const int width = r.right - r.left, height = r.bottom - r.top;
        // An option is its bare mark, so that none of its own text shows beside it.
        const int mark = GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi);
        const int layoutWidth = Pixels(c.width, dpi, scale);
        EXPECT_EQ((std::array{r.left, r.top, LONG(width), LONG(height)}),
                  (std::array<LONG, 4>{
                      Pixels(c.left, dpi, scale), Pixels(c.top, dpi, scale),
                      c.kind == ControlKind::Option ? std::min(layoutWidth, mark) : layoutWidth,
                      Pixels(c.height, dpi, scale)}));
        // What a screen reader reads: an option's label, a picture button's tooltip; a
        // field is named by the label just before it.
        const bool named = c.kind == ControlKind::Option || c.kind == ControlKind::Button;
        EXPECT_EQ(win32::Text(h), named ? AccessibleName(c) : c.caption);
        if (const quorvel::Control* label = c.kind == ControlKind::Field ? LabelOf(c) : nullptr) {
            EXPECT_EQ(GetWindow(h, GW_HWNDPREV), W(label->name));
        }
        wchar_t tip[512] = {};
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE, tool.hwnd = in, tool.lpszText = tip;
        tool.uId = reinterpret_cast<UINT_PTR>(h);
        SendMessageW(window->tooltips(), TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(Utf8(tip), c.tooltip);
        // Every caption fits its control in the control's own font.
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
        SIZE size = {};
        const std::wstring caption = Wide(c.caption);
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        EXPECT_TRUE(c.kind != ControlKind::Frame || size.cx + MulDiv(24, dpi, 96) <= width)
            << size.cx;
        EXPECT_TRUE(c.kind != ControlKind::Button || SendMessageW(h, BM_GETIMAGE, IMAGE_ICON, 0));
        if (c.kind == ControlKind::Label) {
            EXPECT_TRUE(size.cx <= width && size.cy <= height) << size.cx << "x" << size.cy;
            const LONG style = GetWindowLongW(h, GWL_STYLE);
            EXPECT_EQ(style & SS_TYPEMASK, c.centred ? SS_CENTER : SS_LEFTNOWORDWRAP);
            EXPECT_TRUE(style & SS_NOTIFY) << "a tooltip needs the mouse messages";
        }
    }
    ReleaseDC(window->handle(), dc);
    RECT client;
    GetClientRect(window->handle(), &client);
    const std::array<LONG, 2> layout{Pixels(kClientWidth, dpi, scale),
                                     Pixels(kClientHeight, dpi, scale)};
    EXPECT_EQ((std::array{client.right, client.bottom}), layout);
    // Never smaller than the layout, so that no control covers another.
    SetWindowPos(window->handle(), nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(window->handle(), &client);
    EXPECT_EQ((std::array{client.right, client.bottom}), layout);
    EXPECT_EQ(win32::Text(window->handle()), kFormCaption);
    // A screen reader asking for the window gets it annotated (Wine only takes the calls).
    SendMessageW(W("tx_Masse"), WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    // The icons are drawn for the sizes the system asks at this dots per inch.
    for (const auto& [which, metric] :
         {std::pair{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}}) {
        ICONINFO info = {};
        const auto icon =
            reinterpret_cast<HICON>(SendMessageW(window->handle(), WM_GETICON, which, 0));
        ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info));
        BITMAP bits = {};
        GetObjectW(info.hbmColor, sizeof bits, &bits);
        EXPECT_EQ(bits.bmWidth, GetSystemMetricsForDpi(metric, dpi));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

TEST_F(Win32Test, FirstFocusAndTabOrder) {
    EXPECT_EQ(GetFocus(), W("bu_open"));
    EXPECT_EQ(TabCycle(), sequences::kTabsBare);
    window->OpenPath(QUORVEL_EXAMPLES "/stadtbus.txt");  // a motor and four ratios
    EXPECT_EQ(TabCycle(), sequences::kTabsMotor);
    // Enter on the focused open button clicks it.
    Key(W("bu_open"), VK_RETURN);
    EXPECT_EQ(dialog->shown, 1);
}

// What a message box test does once the box is up, in the box's own loop.
thread_local std::function<void(HWND box)> onBox;

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM found) {
            wchar_t name[8] = {};
            GetClassNameW(h, name, 8);
            if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(h)) return TRUE;
            *reinterpret_cast<HWND*>(found) = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;  // not up yet: the timer comes again
    KillTimer(nullptr, timer);
    onBox(box);
}

// The real boxes: a long path shows whole, broken into lines that fit the box, and the
// question answers to its German keys.
TEST_F(Win32Test, MessageBoxesShowPathsWholeAndAnswerJaNein) {
    Win32MessageSink boxes;
    boxes.SetOwner(window->handle());
    std::string path = "C:\\Rollmaterial";
    for (int i = 0; i < 16; ++i) path += "\\Unterordner_" + std::to_string(i);
    const std::string text = "Die Datei\r\n" + path + "\\elok.txt\r\nwurde nicht gefunden.";
    // clang-format off
    const struct { bool ask; UINT message; wchar_t key; bool yes; } cases[] = {  // WM_SYSCHAR: Alt
        {false, WM_KEYDOWN, VK_RETURN, false}, {true, WM_SYSCHAR, L'j', true},
        {true, WM_CHAR, L'n', false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.key));
        std::wstring shown, buttons;
        int wider = 0;
        onBox = [&](HWND box) {
            const HWND label = GetDlgItem(box, 0xFFFF);
            shown = TextOf(label);
            RECT room;
            GetClientRect(label, &room);
            const HDC dc = GetDC(label);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
            for (std::size_t at = 0; at < shown.size();) {
                const std::size_t end = std::min(shown.find(L"\r\n", at), shown.size());
                const std::wstring line = shown.substr(at, end - at);
                SIZE size = {};
                GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
                wider += size.cx > room.right;
                at = end + 2;
            }
            ReleaseDC(label, dc);
            if (c.ask)
                buttons = TextOf(GetDlgItem(box, IDYES)) + L"|" + TextOf(GetDlgItem(box, IDNO));
            PostMessageW(GetFocus(), c.message, c.key, 1);
            // Closes a box the key left open, so that the test fails instead of hanging.
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        };
        SetTimer(nullptr, 0, 0, BoxTimer);
        const bool yes = c.ask ? boxes.AskYesNo("Frage", text)
                               : (boxes.ShowMessage("", text, MessageIcon::Critical), false);
        EXPECT_EQ(yes, c.yes);
        EXPECT_EQ(wider, 0) << Utf8(shown);
        auto flat = [](std::wstring t) { return std::erase(t, L'\r'), std::erase(t, L'\n'), t; };
        EXPECT_EQ(flat(shown), flat(Wide(text)));
        EXPECT_EQ(buttons, c.ask ? L"&Ja|&Nein" : L"");
    }
    onBox = nullptr;
}

// Strg+G and the system menu open the chart; it reads like the library's table, follows
// a reaction, changes no field, and goes with the main window.
TEST_F(Win32Test, GetriebeFollowsTheFieldsAndClosesWithTheWindow) {
    const std::filesystem::path file = folder.path / "elok.txt";
    std::filesystem::copy_file(QUORVEL_EXAMPLES "/elok.txt", file);
    window->OpenPath(file.string());
    Click(W("tx_U3"));
    const std::string before = Text("tx_U3");
    Key(GetFocus(), 'G', VK_CONTROL);
    Win32Chart* chart = window->chart();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->IsShown());
    EXPECT_EQ(win32::Text(chart->handle()), "Getriebe");
    EXPECT_EQ(GetWindow(chart->handle(), GW_OWNER), window->handle());
    EXPECT_EQ(Text("tx_U3"), before);
    EXPECT_FALSE(window->state().Edited);

    auto listCells = [&] {
        std::string cells;
        const int rows = static_cast<int>(SendMessageW(chart->table(), LVM_GETITEMCOUNT, 0, 0));
        for (int at = 0; at < rows * 6; ++at) {  // six columns
            wchar_t text[64] = {};
            LVITEMW item = {};
            item.iSubItem = at % 6, item.pszText = text, item.cchTextMax = 64;
            SendMessageW(chart->table(), LVM_GETITEMTEXTW, at / 6, reinterpret_cast<LPARAM>(&item));
            cells += Utf8(text) + "|";
        }
        return cells;
    };
    auto libraryCells = [&] {
        std::string cells;
        for (const GearRow& row : ComputeGearChart(window->state()).rows)
            for (const std::string& cell : row.cells) cells += cell + "|";
        return cells;
    };
    EXPECT_EQ(listCells(), libraryCells());
    EXPECT_NE(listCells(), "");

    // A new limit revolution with Enter recalculates the speeds; the chart follows.
    Act(sequences::Step{sequences::Act::Type, "tx_U3", "5000"}, "");
    Act(sequences::Step{sequences::Act::Enter, "tx_U3"}, "");
    EXPECT_EQ(Text("tx_U3"), "5000");
    EXPECT_EQ(listCells(), libraryCells());
    EXPECT_EQ(chart->chart().rows.at(5).cells[4], Text("tx_VmaxV"));

    // Strg+C in the chart copies its table, and saves nothing in the main window.
    Key(chart->table(), 'C', VK_CONTROL);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE copied = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(Utf8(static_cast<const wchar_t*>(GlobalLock(copied))),
              GearTableText(chart->chart(), "\r\n"));
    GlobalUnlock(copied);
    CloseClipboard();
    Key(chart->table(), 'S', VK_CONTROL);
    EXPECT_EQ(Bytes(file), Bytes(QUORVEL_EXAMPLES "/elok.txt"));
    // The SVG replaces a file that was there, and leaves no temporary beside it.
    const std::filesystem::path svg = folder.path / "Getriebe.svg";
    std::filesystem::copy_file(file, svg);
    EXPECT_EQ(chart->SaveSvg(svg.string()), "");
    EXPECT_EQ(Bytes(svg).substr(0, 5), "<?xml");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 2);
    EXPECT_NE(chart->SaveSvg((folder.path / "missing" / "x.svg").string()), "");

    // Closed, and opened again from the system menu.
    SendMessageW(chart->handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(chart->IsShown());
    SendMessageW(window->handle(), WM_SYSCOMMAND, 0x0100, 0);
    EXPECT_TRUE(chart->IsShown());

    const HWND shown = chart->handle();
    SendMessageW(window->handle(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_FALSE(IsWindow(shown));
}

TEST_F(Win32Test, UserSequences) {
    sequences::CheckAll(folder.path, [&] { return Make(), std::tuple(this, sink, dialog); });
}

}  // namespace
}  // namespace quorvel::win32
