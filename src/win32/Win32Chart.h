#pragma once

#include "Win32Platform.h"

#include <string>

#include "GearChart.h"

// The window "Getriebe" made with the Win32 API: the gear chart painted with GDI from the
// display list, the table in a list view that screen readers read, Strg+C to copy the
// table and a button to save the picture as SVG. Owned by the main window, so it closes
// with it; it only shows what the chart library computes and never writes a field.
namespace quorvel::win32 {

class Win32Chart {
  public:
    // save: how the SVG reaches the disk; left empty, a temporary file beside the target
    // that then replaces it.
    Win32Chart(HINSTANCE instance, HWND owner, SaveTextFile save = {});
    ~Win32Chart();
    Win32Chart(const Win32Chart&) = delete;
    Win32Chart& operator=(const Win32Chart&) = delete;

    // Shows the window for these fields and gives it the keyboard; false when the system
    // refused to create it.
    bool Open(const EditorState& state);
    // Follows the fields while the window is shown.
    void ShowState(const EditorState& state);
    bool IsShown() const;
    // Whether a message's window is this one or one of its controls.
    bool Owns(HWND hwnd) const;
    HWND handle() const { return window_; }
    HWND table() const { return table_; }
    const GearChart& chart() const { return chart_; }
    // The picture for the present size of the drawing area.
    DisplayList Picture() const;
    // Strg+C and the keyboard handling between its controls, for the program's loop.
    // True when the message was this window's and was handled.
    bool PreTranslate(MSG& message);
    void CopyTable() const;
    // The empty text when the picture was saved at path, else the reason.
    std::string SaveSvg(const std::string& path) const;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool Create();
    void Layout();
    void Paint(HDC dc) const;
    void SaveSvgAs();
    RECT DrawingArea() const;
    const ChartColours& Colours() const;

    HINSTANCE instance_;
    HWND owner_;
    SaveTextFile save_;
    HWND window_ = nullptr;
    HWND table_ = nullptr;
    HWND saveButton_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    GearChart chart_;
};

}  // namespace quorvel::win32
