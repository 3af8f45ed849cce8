#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ControlTable.h"
#include "EditorState.h"
#include "Services.h"

// The window's behaviour without a toolkit: which user event on which control runs
// which reaction, and what the window shows afterwards. Both windows turn their
// toolkit's events into calls of Form and show what Form hands their view; neither
// decides anything itself.
namespace quorvel {

// Where the focus went when a field lost it. Only a move to another control of this
// window is a focus loss; another window, a message box or a popup menu only borrows
// the focus and gives it back.
enum class FocusTarget { ThisWindow, OtherWindow, Popup };

class FormView {
  public:
    virtual ~FormView() = default;
    // Puts the state into the controls. Whatever the controls report while this runs
    // is the program's own doing and runs nothing.
    virtual void Show(const EditorState& state) = 0;
};

class Form {
  public:
    // platform: the real or fake number format, message boxes, dialog and host lookup.
    Form(Services platform, FormView& view);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // The window's load step, once, before it is shown.
    void Load();
    // The user changed a field's text; it is at once the state's text.
    void TextEdited(const Control& field, const std::string& text);
    // key: the toolkit's identity of the physical key, the same for press and release.
    // A release counts only when this field saw the press; auto-repeats never count.
    // keyCode: the Windows virtual-key code (13 for Return and for keypad Enter).
    void KeyPressed(const Control& field, std::uint64_t key, bool autoRepeat);
    void KeyReleased(const Control& field, std::uint64_t key, int keyCode, bool autoRepeat);
    void FocusLost(const Control& field, FocusTarget to);
    // A click on a button, or the user's choice of an option (by mouse or keyboard).
    // A disabled option does nothing; a label or frame does nothing.
    void Clicked(const Control& control);
    // A keyboard shortcut for a button (Ctrl+O, Ctrl+S): the focused field first has
    // its focus-loss reaction, as when the click takes the focus from it.
    void Shortcut(Command command, const Control* focused);
    // A file dropped on the window, opened as the open button opens the file its dialog
    // gives, after the focused field's focus-loss reaction. Only property files are
    // taken (see IsPropertyFile).
    void OpenFile(const std::string& path, const Control* focused);
    // A file named on the command line: opened as the open button opens the file its
    // dialog gives, whatever its name.
    void OpenGiven(const std::string& path);
    // The files named on the command line, in the order given: the first is opened as
    // OpenGiven opens it, and a notice names the ones not opened, since the window holds
    // one file. Each is shown as an absolute, clean path: a relative one is taken from
    // workingFolder (the process's working folder when none is given) and "." and ".."
    // are resolved in the text, as the user wrote it, without following links.
    void OpenArguments(const std::vector<std::string>& arguments,
                       const std::optional<std::string>& workingFolder = std::nullopt);
    // A path as OpenArguments shows it; UTF-8 in and out.
    static std::string AbsolutePath(const std::string& path, const std::string& workingFolder);
    // Whether a dropped file is one the window takes: a name ending in ".txt", in any
    // case.
    static bool IsPropertyFile(std::string_view path);
    // Another window of the program takes the keyboard (the gear chart, by a shortcut):
    // the keys held down belong to no field any more, so their releases run nothing.
    void KeysTaken() { pressed_.clear(); }
    // Loads the file without the dialog; nothing without a path.
    void OpenPath(const std::optional<std::string>& path);

    const EditorState& state() const { return state_; }

  private:
    // Shows the state before a modal box or dialog opens, so the window behind it shows
    // what the reaction has done so far.
    class ShowingSink : public MessageSink {
      public:
        ShowingSink(Form& form, MessageSink& sink) : form_(form), sink_(sink) {}
        void ShowMessage(const std::string& caption, const std::string& text,
                         MessageIcon icon) override;
        bool AskYesNo(const std::string& caption, const std::string& text) override;

      private:
        Form& form_;
        MessageSink& sink_;
    };
    class ShowingDialog : public FileDialog {
      public:
        ShowingDialog(Form& form, FileDialog& dialog) : form_(form), dialog_(dialog) {}
        std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                                   const std::optional<std::string>& initialFolder) override;

      private:
        Form& form_;
        FileDialog& dialog_;
    };

    // Runs one reaction to its end, unless one runs already or the view is being
    // shown; then shows the state. An exception becomes the German critical message.
    void React(const std::function<void()>& reaction);
    void Run(Command command);
    void LeaveField(const Control& field);
    void ShowState();
    void ReportFailure(const std::exception& e) noexcept;

    FormView& view_;
    ShowingSink sink_;
    ShowingDialog dialog_;
    Services services_;
    EditorState state_;
    std::map<const Control*, std::set<std::uint64_t>> pressed_;
    bool reacting_ = false;
    bool showing_ = false;
};

}  // namespace quorvel
