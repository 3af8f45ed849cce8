#pragma once

#include "Win32Platform.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Form.h"

// The editor's window made with the Win32 API from the control table. It turns window
// messages into the form's events and shows what the form hands it; the rules are the
// form's.
namespace quorvel::win32 {

class Win32Chart;

// The platform pieces; each one left empty is the real one.
struct WindowServices {
    std::unique_ptr<NumberFormat> format;
    std::unique_ptr<MessageSink> messages;
    std::unique_ptr<FileDialog> dialog;
    std::unique_ptr<HostLookup> host;
};

// The layout's font, when the system has it; else the system's message font, at its own
// size. Either is then fitted to the captions (FitLayout).
inline constexpr const wchar_t* kFontFace = L"MS Sans Serif";
inline constexpr int kFontPoints = 8;

class Win32Window : private FormView {
  public:
    explicit Win32Window(WindowServices services = {});
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Creates the window and its controls and runs the load step; false when the system
    // refused to create it. The window opens where the system places new windows.
    bool Create(HINSTANCE instance, int show);
    HWND handle() const { return window_; }
    // The control made for a row of the table; nullptr for a name the table lacks.
    HWND Control(std::string_view name) const;
    HFONT font() const { return font_; }
    HWND tooltips() const { return tooltips_; }
    UINT dpi() const { return dpi_; }
    // The font's size and the factor the layout's twips are scaled by, so that every
    // caption shows whole.
    LayoutFit fit() const { return fit_; }

    // Loads the file at path without the dialog; nothing without a path.
    void OpenPath(const std::optional<std::string>& path);
    // Opens a file named on the command line, as the open button opens the one its dialog
    // gives.
    void OpenGiven(const std::string& path);
    // The files named on the command line: the first opened, the others named in a box,
    // each as an absolute, clean path (Form::OpenArguments).
    void OpenArguments(const std::vector<std::string>& arguments);
    const EditorState& state() const { return form_.state(); }

    // The window "Getriebe" (Strg+G, or "Getriebediagramm…" in the system menu), made at
    // its first opening; it follows the fields. nullptr when the system refused it.
    Win32Chart* OpenChart();
    Win32Chart* chart() const { return chart_.get(); }

    // The message loop's filter: Ctrl+O, Ctrl+S and Ctrl+G, and keyboard navigation
    // between the controls, of this window or of the chart. True when it was handled.
    bool PreTranslate(MSG& message);

  private:
    struct Made {
        const quorvel::Control* control;
        HWND hwnd;
        WNDPROC own = nullptr;  // the class's procedure, when ControlProc stands before it
    };

    static bool Register(HINSTANCE instance);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Subclass(Made& made);
    static LRESULT Own(const Made& made, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnFrame(const Made& frame, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnOption(const Made& option, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnField(const Made& field, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnDrop(WPARAM drop);
    void MakeControls();
    void AddTooltip(const Made& made);
    void Place();
    LOGFONTW ChooseFont(HDC dc) const;
    HFONT FitFont();
    RECT Bounds(const quorvel::Control& c) const;  // left, top, width, height
    void SetPictures();
    void SetIcons();
    void Annotate();
    SIZE FrameSize() const;
    void Show(const EditorState& state) override;
    const Made* Find(HWND hwnd) const;

    WindowServices owned_;
    Win32MessageSink* sink_ = nullptr;   // owned_.messages when it is the real one
    Win32FileDialog* dialog_ = nullptr;  // owned_.dialog when it is the real one
    Form form_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH pathBrush_ = nullptr;
    HICON pictures_[2] = {};
    HICON icons_[2] = {};  // the window's, small and large
    HACCEL shortcuts_ = nullptr;
    UINT dpi_ = 96;
    LayoutFit fit_;
    bool annotated_ = false;
    std::vector<Made> made_;  // in the order made, which is the Tab order
    std::unique_ptr<Win32Chart> chart_;
};

}  // namespace quorvel::win32
