#pragma once
// The open panel: a file chooser that runs either on its own (non-modal) or as a sheet
// on a window (modal to that window only), and answers through a completion handler
// with OK or Cancel; the chosen URLs are then read from the panel.
//
// Files and folders together: Qt's chooser selects one or the other, so a panel that
// allows both uses Qt's own dialog, whose Open button then accepts a selected folder
// instead of entering it. Symbolic links are resolved in the answer when
// resolvesAliases is on. With canCreateDirectories off the chooser offers no folder
// creation (nor renaming or deleting).
//
// Tests install a runner that answers in place of the dialog.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QFileDialog>
#include <QPointer>

#include "platform/foundation/URL.h"

class QWidget;

namespace qs {

class OpenPanel : public std::enable_shared_from_this<OpenPanel> {
public:
    enum : int { NSModalResponseCancel = 0, NSModalResponseOK = 1 };

    static std::shared_ptr<OpenPanel> openPanel();
    ~OpenPanel();

    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    bool canCreateDirectories = true;
    bool resolvesAliases = true;
    // The folder the panel starts in ("" for the chooser's own choice).
    std::string directoryURL;
    // Name filters offered, the first selected ("Applications (*.desktop)"); none: all files.
    std::vector<std::string> nameFilters;
    std::string title;

    // Non-modal; the handler runs once, with OK or Cancel.
    void beginWithCompletionHandler(std::function<void(int response)> handler);
    // Modal to `window` only.
    void beginSheetModalForWindow(QWidget* window, std::function<void(int response)> handler);
    // The chosen files and folders (after OK), in the order chosen.
    const std::vector<URLPtr>& URLs() const { return urls_; }
    void close();
    bool isVisible() const;
    QFileDialog* dialog() const { return dialog_.data(); }

    // Ends the panel with a response and the chosen paths (what the dialog does; the
    // test runner calls it).
    void finish(int response, const std::vector<std::string>& paths);

    // Tests: `runner` is called in place of showing a dialog, with the panel and the
    // sheet's window (nullptr when non-modal); it answers through finish, at once or later.
    using Runner = std::function<void(OpenPanel& panel, QWidget* sheetWindow)>;
    static void setRunnerForTesting(Runner runner);

private:
    OpenPanel() = default;
    void begin(QWidget* window, std::function<void(int)> handler);

    std::function<void(int)> handler_;
    std::vector<URLPtr> urls_;
    QPointer<QFileDialog> dialog_;
    bool finished_ = false;
    // The panel lives until it has answered.
    std::shared_ptr<OpenPanel> keepAlive_;
};

}  // namespace qs
