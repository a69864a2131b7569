#pragma once
// The preference tests' fixture: the sim desktop, a dock manager with recording panels
// (so the panes edit the real configuration and model), themes from an empty resource
// folder, and no open panel, editor or preferences window left behind.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/DockTestSupport.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "platform/ui/Binding.h"
#include "platform/ui/OpenPanel.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/StartMenuPreferences.h"
#include "preferences/WidgetsViewController.h"

namespace qs::test {

// Pixels of an area of an image whose grey differs from a colour's by more than the
// tolerance: what was drawn over that colour.
inline int pixelsUnlike(const QImage& image, const QRect& area, QColor colour, int tolerance = 8) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - qGray(colour.rgb())) > tolerance) ++n;
    return n;
}

class PreferencesTest : public DockTest {
protected:
    PreferencesTest() {
        ThemeManager::resetSharedInstanceForTesting();
        // An empty folder of resource themes: the four built-in themes only.
        std::filesystem::create_directories(env.root() + "/no-resources");
        ThemeManager::setResourceThemesDirectoryForTesting(env.root() + "/no-resources");
        manager = start();
    }
    ~PreferencesTest() override {
        PreferencesWindowController::releasePrefsController();
        PreferencesWindowController::setApplicationDelegate(nullptr);
        StartMenuPreferences::releaseSharedEditor();
        OpenPanel::setRunnerForTesting(nullptr);
        WidgetsViewController::setAccessDialogRunner(nullptr);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MenuModel::resetSharedInstanceForTesting();
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
    }

    // A child widget of the pane's view, by object name (fails the test when missing).
    template <class W>
    W* child(QWidget* view, const char* name) {
        W* w = view ? view->findChild<W*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static std::string text(const QAbstractButton* b) { return b ? b->text().toStdString() : ""; }
    static std::string text(const QLabel* l) { return l ? l->text().toStdString() : ""; }

    std::shared_ptr<DockManager> manager;
};

}  // namespace qs::test
