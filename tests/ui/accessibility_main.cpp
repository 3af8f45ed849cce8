// The window with a file loaded, for accessibility_test.py: prints what a screen reader
// must find (role, name and description of the window and of every shown control, one
// line each, tab-separated), then a line "-", and keeps the window open until killed.
#include <QApplication>
#include <cstdio>

#include "frm_Quorvel.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quorvel::frm_Quorvel window;
    window.OpenPath(std::string(argv[1]));
    window.show();
    // AT-SPI's names of the roles, by control kind.
    const char* roles[] = {"push button", "text", "panel", "label", "radio button"};
    std::printf("frame\t%s\t\n", window.windowTitle().toUtf8().constData());
    for (const quorvel::Control& c : quorvel::Controls()) {
        const auto* w = window.findChild<QWidget*>(QString::fromUtf8(c.name.data(), c.name.size()));
        if (!w->isVisible()) continue;
        const std::string name(quorvel::AccessibleName(c));
        const std::string description(quorvel::AccessibleDescription(c));
        std::printf("%s\t%s\t%s\n", roles[static_cast<int>(c.kind)], name.c_str(),
                    description.c_str());
    }
    std::printf("-\n");
    std::fflush(stdout);
    return QApplication::exec();
}
