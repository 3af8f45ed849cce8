#include "DesktopFit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTranslator>
#include <QWidget>
#include <algorithm>

namespace quorvel {

bool InstallGermanQtTexts(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // windeployqt puts the combined catalogue qt_de beside the program on Windows.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + "/translations"};
    for (const QString& folder : folders) {
        for (const char* name : {"qtbase_de", "qt_de"}) {
            if (translator->load(QString::fromLatin1(name), folder))
                return QCoreApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

namespace {

QColor Mix(const QColor& from, const QColor& to, double share) {
    auto channel = [share](int a, int b) { return static_cast<int>(a + (b - a) * share); };
    return {channel(from.red(), to.red()), channel(from.green(), to.green()),
            channel(from.blue(), to.blue())};
}

// The Window colour that gives a ring of this colour: the ring is drawn 1.4 times darker.
QColor RingWindow(const QColor& ring) {
    auto channel = [](int c) { return std::min(255, c * 14 / 10); };
    return {channel(ring.red()), channel(ring.green()), channel(ring.blue())};
}

void Apply(QWidget& window) {
    constexpr QPalette::ColorGroup kGroups[] = {QPalette::Active, QPalette::Inactive,
                                                QPalette::Disabled};
    // The path field's grey is fixed, so its text must be dark whatever the palette.
    if (auto* path = window.findChild<QLineEdit*>(QStringLiteral("tx_Datei"))) {
        QPalette colours = path->palette();
        for (const auto group : kGroups) {
            colours.setColor(group, QPalette::Base, QColor(192, 192, 192));
            colours.setColor(group, QPalette::Text, Qt::black);
            colours.setColor(group, QPalette::PlaceholderText, QColor(64, 64, 64));
        }
        colours.setColor(QPalette::Disabled, QPalette::Text, QColor(64, 64, 64));
        path->setPalette(colours);
    }

    // An option mark is drawn from the palette: its ring from Window, 1.4 times darker,
    // its fill from Base, its dot from Text. An enabled mark's ring takes the text colour,
    // so it stands out from the frame under a light and a dark palette alike; a disabled
    // mark's ring and dot lie only a sixth of the way from the background to the text
    // colour, and its fill is the background.
    const QPalette frame = window.palette();
    for (QRadioButton* option : window.findChildren<QRadioButton*>()) {
        QPalette colours = option->palette();
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            colours.setColor(group, QPalette::Window,
                             RingWindow(frame.color(group, QPalette::WindowText)));
            colours.setColor(group, QPalette::Base, frame.color(group, QPalette::Base));
            colours.setColor(group, QPalette::Text, frame.color(group, QPalette::Text));
        }
        const QColor background = frame.color(QPalette::Active, QPalette::Window);
        const QColor faint =
            Mix(background, frame.color(QPalette::Active, QPalette::WindowText), 1.0 / 6);
        colours.setColor(QPalette::Disabled, QPalette::Window, RingWindow(faint));
        colours.setColor(QPalette::Disabled, QPalette::Base, background);
        colours.setColor(QPalette::Disabled, QPalette::Text, faint);
        option->setPalette(colours);
    }
}

// Applies the colours again when the desktop's palette changes.
class PaletteFollower : public QObject {
  public:
    explicit PaletteFollower(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && (event->type() == QEvent::PaletteChange ||
                                    event->type() == QEvent::ApplicationPaletteChange))
            Apply(window_);
        return false;
    }

  private:
    QWidget& window_;
};

}  // namespace

void KeepReadable(QWidget& window) {
    Apply(window);
    new PaletteFollower(window);
}

}  // namespace quorvel
