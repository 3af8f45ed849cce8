#include "frm_Quorvel.h"

#include <qdrawutil.h>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDropEvent>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyleOption>
#include <QTimer>
#include <QWindow>
#include <limits>

#include "ChartWindow.h"
#include "DesktopFit.h"
#include "Mod_FileDialog.h"
#include "Mod_Registry.h"
#include "QtPlatform.h"

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
    // scale: the layout's growth, which the option marks follow.
    explicit ClassicStyle(double scale) : scale_(scale) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int size = QProxyStyle::pixelMetric(metric, option, widget);
        const bool mark =
            metric == PM_ExclusiveIndicatorWidth || metric == PM_ExclusiveIndicatorHeight;
        return mark ? static_cast<int>(size * scale_ + 0.5) : size;
    }

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
            // In the text colour, which stands out from the background in any palette; the
            // style's own focus frame is a faint tint of it.
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, false);
            painter->setPen(button->palette.color(QPalette::WindowText));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(
                (mark.rect.adjusted(-1, -1, 1, 1) & button->rect).adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }

    // A field with the keyboard focus is edged in the text colour: the style's tinted edge
    // can be too faint against the background.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (element != PE_PanelLineEdit || !(option->state & State_HasFocus)) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(option->palette.color(QPalette::WindowText));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
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
    double scale_;
};

// The key code the form is given: the Windows virtual-key code, 13 for Return and for
// the keypad's Enter alike; the other keys that matter when typing a number.
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

// Which physical key an event is about. X11 reports a release's key code from the
// modifiers held at release, so Shift let go first would make the release name another
// key than its press; the scan code stays the same. Tests send no scan code.
std::uint64_t KeyId(const QKeyEvent* key) {
    const quint32 scan = key->nativeScanCode();
    return scan != 0 ? (std::uint64_t{1} << 32) | scan : static_cast<std::uint64_t>(key->key());
}

QRect Geometry(const Control& c, double scale) {
    return {ScaledPixels(c.left, scale), ScaledPixels(c.top, scale), ScaledPixels(c.width, scale),
            ScaledPixels(c.height, scale)};
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A picture sharp at any scale: drawn from its SVG, the 16-pixel size from the hand-made
// bitmap. Without Qt's SVG support only the bitmap remains.
QIcon PictureIcon(const QString& name) {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1.svg").arg(name));
    icon.addFile(QStringLiteral(":/icons/%1.png").arg(name), QSize(16, 16));
    return icon;
}

WindowServices WithDefaults(WindowServices services, QWidget* window) {
    if (!services.format) services.format = std::make_unique<QtNumberFormat>();
    if (!services.messages) services.messages = std::make_unique<QtMessageSink>(window);
    if (!services.dialog) services.dialog = std::make_unique<QtFileDialog>(window);
    if (!services.host) services.host = std::make_unique<RegistryHostLookup>();
    return services;
}

Services Platform(WindowServices& s) {
    return {*s.format, *s.messages, *s.dialog, *s.host};
}

// Screen readers take the window for a frame, as any window with a title bar: Qt gives a
// plain top-level widget the role of a filler.
QAccessibleInterface* WindowAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(frm_Quorvel::staticMetaObject.className()) ||
        !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

frm_Quorvel::frm_Quorvel(WindowServices services, QWidget* parent)
    : QWidget(parent),
      owned_(WithDefaults(std::move(services), this)),
      form_(Platform(owned_), *this) {
    RegisterPictures();
    static const bool accessible = (QAccessible::installFactory(WindowAccessible), true);
    Q_UNUSED(accessible);
    Build(FitFont());
    BindShortcuts();
    KeepReadable(*this);
    form_.Load();
    widgets_.front().second->setFocus();  // bu_open
}

frm_Quorvel::~frm_Quorvel() = default;

// Every control as the table gives it, made in the order that is also the Tab order.
void frm_Quorvel::Build(double scale) {
    setObjectName(Text(kFormName));
    setWindowTitle(Text(kFormCaption));
    setWindowIcon(PictureIcon(QStringLiteral("quorvel")));
    const QSize client(ScaledPixels(kClientWidth, scale), ScaledPixels(kClientHeight, scale));
    // Smaller, the controls would lie over each other.
    setMinimumSize(client);
    resize(client);
    // Created before the controls, so that it is deleted after them.
    auto* classic = new ClassicStyle(scale);
    classic->setParent(this);

    std::map<std::string_view, QWidget*> made;
    for (const Control* c : CreationOrder()) {
        QWidget* in = c->container == kFormName ? this : made.at(c->container);
        QWidget* w = nullptr;
        switch (c->kind) {
            case ControlKind::Button: {
                auto* button = new QPushButton(in);
                button->setIcon(PictureIcon(c->picture == Picture::Open ? QStringLiteral("open")
                                                                        : QStringLiteral("save")));
                // Not default buttons: Enter in a text field reaches only that field.
                button->setAutoDefault(false);
                button->setIconSize(QSize(16, 16) * scale);
                button->installEventFilter(this);
                connect(button, &QPushButton::clicked, this, [this, c] { form_.Clicked(*c); });
                w = button;
                break;
            }
            case ControlKind::Field: {
                auto* edit = new QLineEdit(in);
                edit->setStyle(classic);
                edit->setAcceptDrops(false);  // a dropped file goes to the window
                edit->setMaxLength(std::numeric_limits<int>::max());  // a field holds any length
                edit->installEventFilter(this);
                connect(edit, &QLineEdit::textEdited, this, [this, c](const QString& typed) {
                    form_.TextEdited(*c, typed.toStdString());
                });
                if (c->field == Field::tx_Datei) {
                    QPalette grey = edit->palette();
                    grey.setColor(QPalette::Base, QColor(kPathBackground[0], kPathBackground[1],
                                                         kPathBackground[2]));
                    edit->setPalette(grey);
                }
                w = edit;
                break;
            }
            case ControlKind::Frame: {
                auto* frame = new QGroupBox(Text(c->caption), in);
                frame->setStyle(classic);
                w = frame;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(Text(c->caption), in);
                label->setAlignment((c->centred ? Qt::AlignHCenter : Qt::AlignLeft) |
                                    Qt::AlignVCenter);
                w = label;
                break;
            }
            case ControlKind::Option: {
                auto* option = new QRadioButton(Text(c->caption), in);
                option->setStyle(classic);
                // Clicked is the user's choice, by mouse or keyboard, never the program's.
                connect(option, &QRadioButton::clicked, this, [this, c] { form_.Clicked(*c); });
                w = option;
                break;
            }
        }
        w->setObjectName(Text(c->name));
        w->setGeometry(Geometry(*c, scale));
        w->setToolTip(Text(c->tooltip));
        w->setAccessibleName(Text(AccessibleName(*c)));
        w->setAccessibleDescription(Text(AccessibleDescription(*c)));
        made[c->name] = w;
        widgets_.emplace_back(c, w);
    }
}

QLineEdit* frm_Quorvel::tx_ueber(int index) const {
    for (const auto& [c, w] : widgets_)
        if (c->field == Field::tx_ueber && c->index == index) return static_cast<QLineEdit*>(w);
    return nullptr;
}

const Control* frm_Quorvel::ControlOf(const QObject* widget) const {
    for (const auto& [c, w] : widgets_)
        if (w == widget) return c;
    return nullptr;
}

void frm_Quorvel::BindShortcuts() {
    setAcceptDrops(true);
    for (const auto& [keys, command] : {std::pair{QKeySequence::Open, Command::Open},
                                        std::pair{QKeySequence::Save, Command::Save}}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this,
                [this, command] { form_.Shortcut(command, Focused()); });
    }
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this), &QShortcut::activated, this,
            &frm_Quorvel::OpenChart);
}

const Control* frm_Quorvel::Focused() const {
    return ControlOf(QApplication::focusWidget());
}

// The one local file of a drop, or empty text.
static std::string DroppedPath(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    return urls.size() == 1 && urls[0].isLocalFile() ? urls[0].toLocalFile().toStdString()
                                                     : std::string();
}

void frm_Quorvel::dragEnterEvent(QDragEnterEvent* event) {
    if (Form::IsPropertyFile(DroppedPath(event->mimeData()))) event->acceptProposedAction();
}

void frm_Quorvel::dropEvent(QDropEvent* event) {
    form_.OpenFile(DroppedPath(event->mimeData()), Focused());
    event->acceptProposedAction();
}

void frm_Quorvel::OpenPath(const std::optional<std::string>& path) {
    form_.OpenPath(path);
}

void frm_Quorvel::OpenGiven(const std::string& path) {
    form_.OpenGiven(path);
}

namespace {

// Runs an action once its window is on the screen: show() only asks the system to map
// the window, and a modal box opened before that would show with nothing behind it.
class WhenExposed : public QObject {
  public:
    WhenExposed(QWindow& window, std::function<void()> action)
        : QObject(&window), action_(std::move(action)) {
        if (window.isExposed())
            Run();
        else
            window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            Run();
        }
        return false;
    }

  private:
    // After the window's first paint, which the expose asks for.
    void Run() {
        QTimer::singleShot(0, this, [this] {
            action_();
            deleteLater();
        });
    }
    std::function<void()> action_;
};

}  // namespace

void frm_Quorvel::ShowAndOpen(const std::vector<std::string>& arguments) {
    show();
    if (arguments.empty()) return;
    new WhenExposed(*windowHandle(), [this, arguments] { form_.OpenArguments(arguments); });
}

// The factor the layout grows by for the desktop's font. Up to the size Qt gives when
// the desktop sets none, the window keeps the table's size, and a wide face is made a
// little smaller until every caption fits, as the layout was made for a narrower one. A
// larger font is the user's choice for legibility: it is kept, and the whole layout
// grows by one factor until every caption fits.
double frm_Quorvel::FitFont() {
    constexpr double kDefaultPoints = 9;
    auto scaleFor = [](const QFont& font) {
        const QFontMetrics metrics(font);
        return LayoutScale(
            [&metrics](std::string_view caption) {
                return metrics.horizontalAdvance(Text(caption));
            },
            metrics.height());
    };
    QFont font = this->font();
    double scale = 1;
    if (QFontInfo(font).pointSizeF() > kDefaultPoints) {
        scale = scaleFor(font);
    } else {
        const bool inPoints = font.pointSizeF() > 0;
        while (scaleFor(font) > 1) {
            if (inPoints && font.pointSizeF() > 5.5) {
                font.setPointSizeF(font.pointSizeF() - 0.5);
            } else if (!inPoints && font.pixelSize() > 7) {
                font.setPixelSize(font.pixelSize() - 1);
            } else {
                scale = scaleFor(font);  // no legible size fits: grow instead of cutting
                break;
            }
        }
        setFont(font);
    }
    return scale;
}

ChartWindow* frm_Quorvel::OpenChart() {
    if (chart_ == nullptr) chart_ = new ChartWindow(this);
    form_.KeysTaken();  // the release of Ctrl is not the field's
    chart_->ShowState(form_.state());
    chart_->show();
    chart_->raise();
    chart_->activateWindow();
    return chart_;
}

void frm_Quorvel::Show(const EditorState& state) {
    if (chart_ != nullptr && chart_->isVisible()) chart_->ShowState(state);
    for (const auto& [c, w] : widgets_) {
        if (const std::string* shown = ShownText(state, *c)) {
            auto* edit = static_cast<QLineEdit*>(w);
            const QString text = QString::fromStdString(*shown);
            // Only a changed text is set, so that the cursor stays where the user left it.
            if (edit->text() != text) edit->setText(text);
        }
        w->setVisible(IsVisible(state, *c));
        w->setEnabled(IsEnabled(state, *c));
        if (c->kind != ControlKind::Option) continue;
        auto* option = static_cast<QRadioButton*>(w);
        if (option->isChecked() != IsChecked(state, *c)) {
            // The group's selection can only be cleared while it is not exclusive.
            option->setAutoExclusive(false);
            option->setChecked(IsChecked(state, *c));
            option->setAutoExclusive(true);
        }
        // The Tab key enters the option group at its selected option; the arrow keys
        // move within the group.
        option->setFocusPolicy(IsTabStop(state, *c) ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

bool frm_Quorvel::eventFilter(QObject* watched, QEvent* event) {
    const Control* c = ControlOf(watched);
    if (c == nullptr) return QWidget::eventFilter(watched, event);
    const auto* key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease
                          ? static_cast<QKeyEvent*>(event)
                          : nullptr;
    if (c->kind == ControlKind::Button) {
        // Enter on a focused button clicks it, as on Windows.
        if (key != nullptr && event->type() == QEvent::KeyPress && !key->isAutoRepeat() &&
            KeyCode(key->key()) == kKeyEnter) {
            static_cast<QPushButton*>(watched)->click();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::KeyPress:
            form_.KeyPressed(*c, KeyId(key), key->isAutoRepeat());
            break;
        case QEvent::KeyRelease:
            form_.KeyReleased(*c, KeyId(key), KeyCode(key->key()), key->isAutoRepeat());
            break;
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            form_.FocusLost(*c, reason == Qt::ActiveWindowFocusReason ? FocusTarget::OtherWindow
                                : reason == Qt::PopupFocusReason      ? FocusTarget::Popup
                                                                      : FocusTarget::ThisWindow);
            break;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quorvel
