#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Form.h"
#include "Services.h"

class QLineEdit;
class QDragEnterEvent;
class QDropEvent;

namespace quorvel {

class ChartWindow;

// The platform pieces the window gives the commands. Each one left empty is the real
// one: the user's number format, message boxes and the open dialog, all owned by the
// window, and the host lookup in the registry. Tests pass fakes.
struct WindowServices {
    std::unique_ptr<NumberFormat> format;
    std::unique_ptr<MessageSink> messages;
    std::unique_ptr<FileDialog> dialog;
    std::unique_ptr<HostLookup> host;
};

// The editor's one window, built from the control table. It turns Qt's events into the
// form's events and shows what the form hands it; the rules are the form's.
class frm_Quorvel : public QWidget, private FormView {
    Q_OBJECT

  public:
    explicit frm_Quorvel(WindowServices services = {}, QWidget* parent = nullptr);
    ~frm_Quorvel() override;

    // Loads the file at path without the dialog; nothing without a path.
    void OpenPath(const std::optional<std::string>& path);
    // Opens a file named on the command line, as the open button opens the one its dialog
    // gives.
    void OpenGiven(const std::string& path);
    // Shows the window and then opens the files named on the command line, so that what
    // their load tells shows over the window.
    void ShowAndOpen(const std::vector<std::string>& arguments);

    const EditorState& state() const { return form_.state(); }
    // The ratio fields tx_ueber(0) .. tx_ueber(5), top to bottom.
    QLineEdit* tx_ueber(int index) const;
    // The window "Getriebe" (Strg+G), made at its first opening; it follows the fields.
    ChartWindow* OpenChart();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A property file dropped anywhere on the window is loaded.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void Build(double scale);
    void BindShortcuts();
    const Control* Focused() const;
    // The layout's scale for the desktop's font, and the window's font.
    double FitFont();
    void Show(const EditorState& state) override;
    const Control* ControlOf(const QObject* widget) const;

    WindowServices owned_;
    Form form_;
    std::vector<std::pair<const Control*, QWidget*>> widgets_;  // in the table's order
    ChartWindow* chart_ = nullptr;                              // a child, deleted with it
};

}  // namespace quorvel
