#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <set>
#include <vector>

#include "EditorState.h"
#include "FieldEvents.h"

class QLineEdit;
class QRadioButton;

namespace quorvel {

namespace Ui {
class frm_Quorvel;
}

// The editor's one window. It owns the editor state, shows it in the controls of the
// same names and hands each user event on a control to its one reaction.
class frm_Quorvel : public QWidget {
    Q_OBJECT

  public:
    explicit frm_Quorvel(QWidget* parent = nullptr);
    ~frm_Quorvel() override;

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
        std::set<int> pressedKeys;  // presses this field saw and whose release is due
    };

    void BindFields();
    void BindOptions();
    void FitFont();
    // Shows the state in the controls; sets off no reaction.
    void ShowState();
    QRadioButton* OptionButton(TypeOption option) const;

    std::unique_ptr<Ui::frm_Quorvel> ui_;
    EditorState state_;
    std::array<QLineEdit*, kRatioFields> tx_ueber_{};
    std::vector<FieldBinding> fields_;
    bool showingState_ = false;
};

}  // namespace quorvel
