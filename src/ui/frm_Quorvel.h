#pragma once

#include <QWidget>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "EditorState.h"
#include "FieldEvents.h"
#include "Services.h"

class QLineEdit;
class QRadioButton;

namespace quorvel {

namespace Ui {
class frm_Quorvel;
}

// The platform pieces the window gives the commands. Each one left empty is the real
// one: the user's number format, message boxes and the open dialog, all owned by the
// window, and the host lookup in the registry. Tests pass fakes.
struct WindowServices {
    std::unique_ptr<NumberFormat> format;
    std::unique_ptr<MessageSink> messages;
    std::unique_ptr<FileDialog> dialog;
    std::unique_ptr<HostLookup> host;
};

// The editor's one window. It owns the editor state, shows it in the controls of the
// same names and hands each user event on a control to its one reaction.
class frm_Quorvel : public QWidget {
    Q_OBJECT

  public:
    explicit frm_Quorvel(WindowServices services = {}, QWidget* parent = nullptr);
    ~frm_Quorvel() override;

    // Loads the file at path, as the open button does after its dialog; nothing
    // without a path.
    void OpenPath(const std::optional<std::string>& path);

    const EditorState& state() const { return state_; }
    // The ratio fields tx_ueber(0) .. tx_ueber(5), top to bottom.
    QLineEdit* tx_ueber(int index) const { return tx_ueber_.at(index); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One text field: its state member and which of its events have a reaction.
    struct FieldBinding {
        QLineEdit* edit;
        Field field;
        int index;
        std::string* text;
        bool keyReaction;
        bool focusReaction;
        std::set<long long> pressedKeys;  // presses this field saw and whose release is due
    };

    void BindFields();
    void BindButtons();
    void FitFont();
    // Runs one reaction to its end, then shows the state.
    void React(const std::function<void()>& reaction);
    void ReportFailure(const std::exception& e) noexcept;
    // Shows the state in the controls; sets off no reaction.
    void ShowState();
    QRadioButton* OptionButton(TypeOption option) const;

    WindowServices owned_;
    std::unique_ptr<MessageSink> showingSink_;
    std::unique_ptr<FileDialog> showingDialog_;
    Services services_;
    std::unique_ptr<Ui::frm_Quorvel> ui_;
    EditorState state_;
    std::array<QLineEdit*, kRatioFields> tx_ueber_{};
    std::vector<FieldBinding> fields_;
    bool showingState_ = false;
    bool reacting_ = false;
};

}  // namespace quorvel
