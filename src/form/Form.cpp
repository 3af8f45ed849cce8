#include "Form.h"

#include <filesystem>
#include <new>
#include <stdexcept>

#include "Commands.h"
#include "FieldEvents.h"
#include "InitEditor.h"
#include "Mod_Datei.h"
#include "Presets.h"

namespace quorvel {

void Form::ShowingSink::ShowMessage(const std::string& caption, const std::string& text,
                                    MessageIcon icon) {
    form_.ShowState();
    sink_.ShowMessage(caption, text, icon);
}

bool Form::ShowingSink::AskYesNo(const std::string& caption, const std::string& text) {
    form_.ShowState();
    return sink_.AskYesNo(caption, text);
}

std::string Form::ShowingDialog::ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                                                const std::optional<std::string>& initialFolder) {
    form_.ShowState();
    return dialog_.ShowOpenDialog(filter, flags, initialFolder);
}

Form::Form(Services platform, FormView& view)
    : view_(view),
      sink_(*this, platform.messages),
      dialog_(*this, platform.dialog),
      services_{platform.format, sink_, dialog_, platform.host} {}

void Form::Load() {
    React([this] { InitEditor(state_); });
}

void Form::TextEdited(const Control& field, const std::string& text) {
    if (reacting_ || showing_) return;
    if (std::string* member = FieldText(state_, field.field, field.index)) *member = text;
}

void Form::KeyPressed(const Control& field, std::uint64_t key, bool autoRepeat) {
    if (!autoRepeat && field.kind == ControlKind::Field) pressed_[&field].insert(key);
}

void Form::KeyReleased(const Control& field, std::uint64_t key, int keyCode, bool autoRepeat) {
    // The release of a key pressed elsewhere (the Enter that closed a message box, the
    // Tab that brought the focus here) is not this field's.
    if (autoRepeat || pressed_[&field].erase(key) == 0) return;
    React([&] { OnKeyRelease(state_, field.field, keyCode, field.index); });
}

void Form::FocusLost(const Control& field, FocusTarget to) {
    if (to != FocusTarget::ThisWindow) return;
    pressed_.erase(&field);
    React([&] { OnFocusLost(state_, field.field, field.index); });
}

void Form::Clicked(const Control& control) {
    if (control.kind == ControlKind::Option) {
        // A toolkit may have marked the option already; a choice that runs nothing
        // shows the selection that stands.
        if (!IsEnabled(state_, control) || reacting_) {
            if (!showing_) ShowState();
            return;
        }
        React([&] {
            state_.selected = control.option;
            Run(control.command);
        });
    } else if (control.kind == ControlKind::Button) {
        React([&] { Run(control.command); });
    }
}

void Form::LeaveField(const Control& field) {
    pressed_.erase(&field);
    OnFocusLost(state_, field.field, field.index);
}

void Form::Shortcut(Command command, const Control* focused) {
    React([&] {
        if (focused != nullptr) LeaveField(*focused);
        Run(command);
    });
}

bool Form::IsPropertyFile(std::string_view path) {
    constexpr std::string_view kExtension = ".txt";
    if (path.size() <= kExtension.size()) return false;
    const std::string_view end = path.substr(path.size() - kExtension.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char c = end[i];
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != kExtension[i]) return false;
    }
    return true;
}

void Form::OpenFile(const std::string& path, const Control* focused) {
    if (!IsPropertyFile(path)) return;
    React([&] {
        if (focused != nullptr) LeaveField(*focused);
        OpenChosenFile(state_, services_, path);
    });
}

void Form::OpenGiven(const std::string& path) {
    React([&] { OpenChosenFile(state_, services_, path); });
}

namespace {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

}  // namespace

std::string Form::AbsolutePath(const std::string& path, const std::string& workingFolder) {
    std::filesystem::path absolute = PathFromText(path);
    if (!absolute.is_absolute()) absolute = PathFromText(workingFolder) / absolute;
    return Utf8(absolute.lexically_normal());
}

void Form::OpenArguments(const std::vector<std::string>& arguments,
                         const std::optional<std::string>& workingFolder) {
    if (arguments.empty()) return;
    React([&] {
        const std::string folder =
            workingFolder ? *workingFolder : Utf8(std::filesystem::current_path());
        OpenChosenFile(state_, services_, AbsolutePath(arguments.front(), folder));
        if (arguments.size() == 1) return;
        std::string text = "Nur die erste Datei wurde ge\u00F6ffnet. Nicht ge\u00F6ffnet:";
        for (std::size_t i = 1; i < arguments.size(); ++i)
            text += "\r\n" + AbsolutePath(arguments[i], folder);
        sink_.ShowMessage(kAppTitle, text, MessageIcon::Information);
    });
}

void Form::OpenPath(const std::optional<std::string>& path) {
    React([&] { quorvel::OpenPath(state_, services_, path); });
}

void Form::Run(Command command) {
    switch (command) {
        case Command::Open:
            OpenCommand(state_, services_);
            break;
        case Command::Save:
            SaveCommand(state_, services_);
            break;
        case Command::Restore:
            RestoreOriginal(state_, services_);
            break;
        case Command::Steam:
            PresetSteam(state_, services_.format, services_.messages);
            break;
        case Command::ElectricDiesel:
            PresetElectricDiesel(state_, services_.format, services_.messages);
            break;
        case Command::City:
            PresetCity(state_);
            break;
        case Command::Wagon:
            PresetWagon(state_);
            break;
        case Command::Other:  // "Andere" computes nothing
        case Command::None:
            break;
    }
}

void Form::React(const std::function<void()>& reaction) {
    // A modal box of a running reaction lets no event of the window through; this guards
    // the rule of one reaction at a time all the same.
    if (reacting_ || showing_) return;
    reacting_ = true;
    try {
        reaction();
    } catch (const std::exception& e) {
        ReportFailure(e);
    } catch (...) {
        ReportFailure(std::runtime_error("unbekannte Ausnahme"));
    }
    reacting_ = false;
    try {
        ShowState();
    } catch (const std::exception& e) {
        ReportFailure(e);
    } catch (...) {
    }
}

void Form::ShowState() {
    if (showing_) return;
    struct Showing {
        bool& flag;
        explicit Showing(bool& f) : flag(f) { flag = true; }
        ~Showing() { flag = false; }
    } showing(showing_);
    view_.Show(state_);
}

void Form::ReportFailure(const std::exception& e) noexcept {
    try {
        // No toolkit passes an exception on through its event loop: tell the user instead
        // of ending the program with the edits.
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        sink_.ShowMessage(kAppTitle,
                          memory
                              ? std::string("Nicht genug Arbeitsspeicher f\u00FCr diesen Schritt.")
                              : std::string("Unerwarteter Fehler: ") + e.what(),
                          MessageIcon::Critical);
    } catch (...) {
        // Not even the message could be shown; the edits stay in the window.
    }
}

}  // namespace quorvel
