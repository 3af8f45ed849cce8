#include "frm_Quorvel.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QRadioButton>
#include <QRegion>
#include <QSignalBlocker>
#include <QStyleOption>
#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>

#include "Commands.h"
#include "InitEditor.h"
#include "Mod_FileDialog.h"
#include "Mod_Registry.h"
#include "Presets.h"
#include "QtPlatform.h"
#include "ui_frm_Quorvel.h"

// The pictures live in this library; a static library's resources must be registered
// by hand, and only outside any namespace.
static void RegisterPictures() {
    Q_INIT_RESOURCE(quorvel);
}

namespace quorvel {

namespace {

// Two controls drawn in the classic way the window's layout was made for: an option
// button is a bare mark (its caption lies beyond its width), with the keyboard focus
// frame around the mark; a frame's caption sits on its top border line, so the controls
// at the top of a frame stay clear of the border.
class ClassicStyle : public QProxyStyle {
  public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_RadioButton || button == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton mark = *button;
        mark.rect = subElementRect(SE_RadioButtonIndicator, button, widget);
        drawPrimitive(PE_IndicatorRadioButton, &mark, painter, widget);
        if (button->state & State_HasFocus) {
            QStyleOptionFocusRect frame;
            frame.QStyleOption::operator=(*button);
            frame.rect = mark.rect.adjusted(-1, -1, 1, 1) & button->rect;
            drawPrimitive(PE_FrameFocusRect, &frame, painter, widget);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr || IsCheckable(box)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect label = subControlRect(control, box, SC_GroupBoxLabel, widget);
        painter->save();
        painter->setClipRegion(QRegion(box->rect) - label.adjusted(-2, 0, 2, 0));
        qDrawShadeRect(painter, subControlRect(control, box, SC_GroupBoxFrame, widget),
                       box->palette, true, 1, 0);
        painter->restore();
        drawItemText(painter, label, Qt::AlignLeft | Qt::AlignVCenter, box->palette,
                     (box->state & State_Enabled) != 0, box->text, QPalette::WindowText);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr || IsCheckable(box))
            return QProxyStyle::subControlRect(control, option, part, widget);
        const QFontMetrics& metrics = box->fontMetrics;
        const QRect frame = box->rect.adjusted(0, metrics.height() / 2, 0, 0);
        switch (part) {
            case SC_GroupBoxLabel:
                return {8, 0, metrics.horizontalAdvance(box->text), metrics.height()};
            case SC_GroupBoxFrame:
                return frame;
            case SC_GroupBoxContents:
                return frame.adjusted(2, metrics.height() / 2 + 2, -2, -2);
            default:
                return {};
        }
    }

  private:
    static bool IsCheckable(const QStyleOptionGroupBox* box) {
        return (box->subControls & SC_GroupBoxCheckBox) != 0;
    }
};

// The key code the field reactions are given: 13 for Enter, on the keypad too; the
// Windows virtual-key code for the other keys that matter when typing a number.
// Which physical key an event is about. X11 reports a release's key code from the
// modifiers held at release, so Shift let go first would make the release name another
// key than its press; the scan code stays the same. Tests send no scan code.
long long KeyId(const QKeyEvent* key) {
    const quint32 scan = key->nativeScanCode();
    return scan != 0 ? (1LL << 32) | scan : key->key();
}

int KeyCode(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kKeyEnter;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Comma:
            return 188;
        case Qt::Key_Minus:
            return 189;
        case Qt::Key_Period:
            return 190;
        default:
            break;
    }
    const bool digitOrLetter =
        (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z);
    return digitOrLetter ? key : 0xFF;
}

// Shows the window's state before a modal dialog or message box opens, so that the
// window behind it shows what the reaction has done so far.
class ShowFirstDialog : public FileDialog {
  public:
    ShowFirstDialog(FileDialog& dialog, std::function<void()> show)
        : dialog_(dialog), show_(std::move(show)) {}
    std::string ShowOpenDialog(const std::string& filter, std::uint32_t flags,
                               const std::optional<std::string>& initialFolder) override {
        show_();
        return dialog_.ShowOpenDialog(filter, flags, initialFolder);
    }

  private:
    FileDialog& dialog_;
    std::function<void()> show_;
};

class ShowFirstSink : public MessageSink {
  public:
    ShowFirstSink(MessageSink& sink, std::function<void()> show)
        : sink_(sink), show_(std::move(show)) {}
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon) override {
        show_();
        sink_.ShowMessage(caption, text, icon);
    }
    bool AskYesNo(const std::string& caption, const std::string& text) override {
        show_();
        return sink_.AskYesNo(caption, text);
    }

  private:
    MessageSink& sink_;
    std::function<void()> show_;
};

WindowServices WithDefaults(WindowServices services, QWidget* window) {
    if (!services.format) services.format = std::make_unique<QtNumberFormat>();
    if (!services.messages) services.messages = std::make_unique<QtMessageSink>(window);
    if (!services.dialog) services.dialog = std::make_unique<QtFileDialog>(window);
    if (!services.host) services.host = std::make_unique<RegistryHostLookup>();
    return services;
}

}  // namespace

frm_Quorvel::frm_Quorvel(WindowServices services, QWidget* parent)
    : QWidget(parent),
      owned_(WithDefaults(std::move(services), this)),
      showingSink_(std::make_unique<ShowFirstSink>(*owned_.messages, [this] { ShowState(); })),
      showingDialog_(std::make_unique<ShowFirstDialog>(*owned_.dialog, [this] { ShowState(); })),
      services_{*owned_.format, *showingSink_, *showingDialog_, *owned_.host},
      ui_(new Ui::frm_Quorvel) {
    RegisterPictures();
    ui_->setupUi(this);
    tx_ueber_ = {ui_->tx_ueber_0, ui_->tx_ueber_1, ui_->tx_ueber_2,
                 ui_->tx_ueber_3, ui_->tx_ueber_4, ui_->tx_ueber_5};

    // Created after the controls, so that it is deleted after them.
    auto* classic = new ClassicStyle;
    classic->setParent(this);
    for (QRadioButton* option : findChildren<QRadioButton*>()) option->setStyle(classic);
    for (QGroupBox* frame : findChildren<QGroupBox*>()) frame->setStyle(classic);

    FitFont();
    BindFields();
    BindButtons();

    InitEditor(state_);
    ShowState();
    ui_->bu_open->setFocus();
}

frm_Quorvel::~frm_Quorvel() = default;

void frm_Quorvel::BindFields() {
    // The member a control shows comes from the editor's own mapping of fields.
    auto bind = [this](QLineEdit* edit, Field field, int index, bool keys, bool focus) {
        std::string* text = FieldText(state_, field, index);
        fields_.push_back({edit, field, index, text, keys, focus, {}});
        edit->installEventFilter(this);
        edit->setMaxLength(std::numeric_limits<int>::max());  // a field holds any length
        // What the user types is at once the member's text.
        connect(edit, &QLineEdit::textEdited, this,
                [text](const QString& typed) { *text = typed.toStdString(); });
    };
    bind(ui_->tx_Datei, Field::tx_Datei, 0, false, false);
    bind(ui_->tx_Masse, Field::tx_Masse, 0, false, true);
    bind(ui_->tx_BremsK, Field::tx_BremsK, 0, false, true);
    bind(ui_->tx_ReibK, Field::tx_ReibK, 0, false, true);
    bind(ui_->tx_Leistung, Field::tx_Leistung, 0, false, true);
    bind(ui_->tx_U1, Field::tx_U1, 0, false, true);
    bind(ui_->tx_U2, Field::tx_U2, 0, false, true);
    bind(ui_->tx_U3, Field::tx_U3, 0, true, true);
    bind(ui_->tx_Treib, Field::tx_Treib, 0, true, true);
    bind(ui_->tx_VMaxR, Field::tx_VMaxR, 0, true, true);
    bind(ui_->tx_VmaxV, Field::tx_VmaxV, 0, true, true);
    for (int i = 0; i < kRatioFields; ++i) bind(tx_ueber_[i], Field::tx_ueber, i, true, true);
}

void frm_Quorvel::BindButtons() {
    // Enter on a focused button clicks it, as on Windows; they stay plain buttons, not
    // default ones, so Enter in a text field reaches only that field.
    ui_->bu_open->installEventFilter(this);
    ui_->bu_save->installEventFilter(this);
    connect(ui_->bu_open, &QAbstractButton::clicked, this,
            [this] { React([this] { OpenCommand(state_, services_); }); });
    connect(ui_->bu_save, &QAbstractButton::clicked, this,
            [this] { React([this] { SaveCommand(state_, services_); }); });

    // An option reacts when the user selects it, by mouse or keyboard (clicked), never
    // when the program selects it. The user's choice is the state's selection first.
    auto option = [this](QRadioButton* button, TypeOption which, std::function<void()> reaction) {
        connect(button, &QAbstractButton::clicked, this, [this, which, reaction] {
            React([this, which, &reaction] {
                state_.selected = which;
                if (reaction) reaction();
            });
        });
    };
    option(ui_->Opt_Zelmo, TypeOption::Opt_Zelmo, [this] { RestoreOriginal(state_, services_); });
    option(ui_->Opt_DLok, TypeOption::Opt_DLok,
           [this] { PresetSteam(state_, services_.format, services_.messages); });
    option(ui_->Opt_Elok, TypeOption::Opt_Elok,
           [this] { PresetElectricDiesel(state_, services_.format, services_.messages); });
    option(ui_->Opt_Stadt, TypeOption::Opt_Stadt, [this] { PresetCity(state_); });
    option(ui_->Opt_waggon, TypeOption::Opt_waggon, [this] { PresetWagon(state_); });
    option(ui_->Opt_Andere, TypeOption::Opt_Andere, nullptr);  // "Andere" computes nothing
}

void frm_Quorvel::OpenPath(const std::optional<std::string>& path) {
    React([this, &path] { quorvel::OpenPath(state_, services_, path); });
}

void frm_Quorvel::React(const std::function<void()>& reaction) {
    // A modal box of a running reaction lets no event of this window through; this
    // guards the rule of one reaction at a time all the same.
    if (reacting_) return;
    reacting_ = true;
    try {
        reaction();
    } catch (const std::exception& e) {
        ReportFailure(e);
    } catch (...) {
        ReportFailure(std::runtime_error("unbekannte Ausnahme"));
    }
    reacting_ = false;
    ShowState();
}

void frm_Quorvel::ReportFailure(const std::exception& e) noexcept {
    try {
        // Qt cannot pass an exception on through its event loop: tell the user
        // instead of ending the program with the edits.
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        services_.messages.ShowMessage(
            quorvel::kAppTitle,
            std::string(memory ? "Nicht genug Arbeitsspeicher f\u00FCr diesen Schritt."
                               : "Unerwarteter Fehler: ") +
                (memory ? "" : e.what()),
            MessageIcon::Critical);
    } catch (...) {
        // Not even the message could be shown; the edits stay in the window.
    }
}

// The layout keeps every control at its place and size, so a large desktop font would
// cut captions off: shrink the window's font until every caption fits its control.
void frm_Quorvel::FitFont() {
    const auto labels = findChildren<QLabel*>();
    const auto frames = findChildren<QGroupBox*>();
    const auto edits = findChildren<QLineEdit*>();
    auto fits = [&](const QFont& font) {
        const QFontMetrics metrics(font);
        for (const QLabel* label : labels) {
            if (metrics.horizontalAdvance(label->text()) > label->width() ||
                metrics.height() > label->height())
                return false;
        }
        // A frame's caption is indented and has a gap before the border goes on.
        for (const QGroupBox* frame : frames) {
            if (metrics.horizontalAdvance(frame->title()) + 24 > frame->width()) return false;
        }
        for (const QLineEdit* edit : edits) {
            if (metrics.height() + 4 > edit->height()) return false;
        }
        return true;
    };
    QFont font = this->font();
    const bool inPoints = font.pointSizeF() > 0;
    while (!fits(font)) {
        if (inPoints && font.pointSizeF() > 5.5) {
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else if (!inPoints && font.pixelSize() > 7) {
            font.setPixelSize(font.pixelSize() - 1);
        } else {
            break;
        }
    }
    setFont(font);
}

QRadioButton* frm_Quorvel::OptionButton(TypeOption option) const {
    switch (option) {
        case TypeOption::Opt_waggon:
            return ui_->Opt_waggon;
        case TypeOption::Opt_DLok:
            return ui_->Opt_DLok;
        case TypeOption::Opt_Elok:
            return ui_->Opt_Elok;
        case TypeOption::Opt_Andere:
            return ui_->Opt_Andere;
        case TypeOption::Opt_Zelmo:
            return ui_->Opt_Zelmo;
        case TypeOption::Opt_Stadt:
            return ui_->Opt_Stadt;
        case TypeOption::None:
            break;
    }
    return nullptr;
}

void frm_Quorvel::ShowState() {
    showingState_ = true;
    for (FieldBinding& binding : fields_) {
        const QString text = QString::fromStdString(*binding.text);
        // Only a changed text is set, so that the cursor stays where the user left it.
        if (binding.edit->text() != text) {
            const QSignalBlocker blocker(binding.edit);
            binding.edit->setText(text);
        }
    }
    ui_->Fra_Motor->setVisible(state_.Fra_Motor_visible);
    for (int i = 0; i < kRatioFields; ++i) tx_ueber_[i]->setVisible(state_.tx_ueber_visible[i]);
    ui_->Opt_DLok->setEnabled(state_.Opt_DLok_enabled);
    ui_->Opt_Elok->setEnabled(state_.Opt_Elok_enabled);
    ui_->Opt_waggon->setEnabled(state_.Opt_waggon_enabled);

    // Selecting one option clears the others of the frame, as a user's choice does.
    const auto options = ui_->Fra_Typ->findChildren<QRadioButton*>();
    QRadioButton* selected = OptionButton(state_.selected);
    if (selected != nullptr) {
        const QSignalBlocker blocker(selected);
        selected->setChecked(true);
    } else {
        // The group's selection can only be cleared while it is not exclusive.
        for (QRadioButton* option : options) {
            const QSignalBlocker blocker(option);
            option->setAutoExclusive(false);
            option->setChecked(false);
            option->setAutoExclusive(true);
        }
    }
    // The Tab key enters the option group at its selected option; the arrow keys move
    // within the group.
    for (QRadioButton* option : options) {
        const bool tabStop = selected == nullptr || option == selected;
        option->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    }
    showingState_ = false;
}

bool frm_Quorvel::eventFilter(QObject* watched, QEvent* event) {
    auto binding = std::find_if(fields_.begin(), fields_.end(),
                                [watched](const FieldBinding& b) { return b.edit == watched; });
    if (binding == fields_.end()) {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (button && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat() && KeyCode(key->key()) == kKeyEnter) {
                button->click();
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat()) binding->pressedKeys.insert(KeyId(key));
            break;
        }
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            // A release whose press went elsewhere (the Enter that closed a message box,
            // the Tab that brought the focus here) is not this field's.
            if (key->isAutoRepeat() || binding->pressedKeys.erase(KeyId(key)) == 0) break;
            if (binding->keyReaction) {
                React([this, &binding, key] {
                    OnKeyRelease(state_, binding->field, KeyCode(key->key()), binding->index);
                });
            }
            break;
        }
        case QEvent::FocusOut: {
            binding->pressedKeys.clear();
            // Another window coming to the front, or a context menu, only borrows the
            // focus; it comes back to this field.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (showingState_ || reason == Qt::ActiveWindowFocusReason ||
                reason == Qt::PopupFocusReason)
                break;
            if (binding->focusReaction) {
                React([this, &binding] { OnFocusLost(state_, binding->field, binding->index); });
            }
            break;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quorvel
