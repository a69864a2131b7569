#include "preferences/AccessController.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <functional>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Workspace.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/AccessHelper.h"
#include "ui_AccessController.h"

namespace qs {

namespace {

constexpr const char* kStatusImageProperty = "qsStatusImage";
constexpr const char* kAccessDoNotShow = "AccessDoNotShow";

// The status lights: green for available, amber for partially available.
QPixmap statusLight(bool granted) {
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(14, 14) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = granted ? QColor(52, 199, 89) : QColor(255, 204, 0);
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    return pixmap;
}

// The window: it tells when it has been shown (placing waits for the shown size).
class AccessDialog : public QDialog {
public:
    std::function<void()> onShown;

protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        if (onShown) onShown();
    }
};

QRect screenArea(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

AccessController::AccessController() = default;

AccessController::~AccessController() { stopTimer(); }

QDialog* AccessController::window() {
    if (window_) return window_.get();
    auto dialog = std::make_unique<AccessDialog>();
    dialog->onShown = [this] {
        if (centreWhenShown_) moveToCenter();
    };
    window_ = std::move(dialog);
    ui_ = std::make_unique<Ui::AccessController>();
    ui_->setupUi(window_.get());
    screenBtn_ = ui_->screenBtn;
    accesibilityBtn_ = ui_->accesibilityBtn;
    screenStatus_ = ui_->screenStatus;
    accesibilityStatus_ = ui_->accesibilityStatus;
    terminalField_ = ui_->terminalField;
    fullDiskBtn_ = ui_->fullDiskBtn;
    fullDiskStatus_ = ui_->fullDiskStatus;
    terminalField_->setCursorPosition(0);

    QDialog* w = window_.get();
    QObject::connect(screenBtn_, &QPushButton::clicked, w, [this] { screen(); });
    QObject::connect(accesibilityBtn_, &QPushButton::clicked, w, [this] { accessibility(); });
    QObject::connect(fullDiskBtn_, &QPushButton::clicked, w, [this] { openFullDiskAccess(); });
    QObject::connect(ui_->copyBtn, &QPushButton::clicked, w, [this] { cipyToClipboard(); });
    QObject::connect(ui_->contactBtn, &QPushButton::clicked, w, [this] { contact(); });
    QObject::connect(ui_->closeBtn, &QPushButton::clicked, w, [this] { closeWindow(); });
    // The title bar's close button and Escape end here too: the poll stops with them.
    QObject::connect(w, &QDialog::finished, w, [this] { stopTimer(); });

    // "AccessDoNotShow" is tied to its check box both ways (YES shows the window at start).
    QCheckBox* showAtStart = ui_->dontShowCheck;
    showAtStart->setChecked(UserDefaults::standardUserDefaults().boolForKey(kAccessDoNotShow));
    QObject::connect(showAtStart, &QCheckBox::toggled, w, [this](bool checked) {
        UserDefaults::standardUserDefaults().setBool(checked, kAccessDoNotShow);
        dontShow();
    });
    showAtStartObservation_ = UserDefaultsController::sharedUserDefaultsController().observe(
        std::string("values.") + kAccessDoNotShow, KeyValueObservingOptionNew, [showAtStart](const KeyValueChange&) {
            QSignalBlocker block(showAtStart);
            showAtStart->setChecked(UserDefaults::standardUserDefaults().boolForKey(kAccessDoNotShow));
        });

    applyLevel();
    windowDidLoad();
    return w;
}

void AccessController::windowDidLoad() {
    updateControlsState();
    // The poll runs on the main run loop, whose timers also fire while the window runs
    // modally.
    sheduleTimer();
}

void AccessController::sheduleTimer() {
    stopTimer();
    timer_.reset();
    if (AccessHelper::allAccessGranted()) return;
    timer_ = Timer::scheduledTimer(2.0, true, [this] { onTimer(); });
}

void AccessController::onTimer() {
    if (AccessHelper::allAccessGranted()) stopTimer();
    updateControlsState();
}

void AccessController::stopTimer() {
    if (timer_ && timer_->isValid()) timer_->invalidate();
}

void AccessController::setRow(QPushButton* button, QLabel* light, bool granted) {
    if (!button || !light) return;
    button->setText(granted ? QStringLiteral("Access Granted") : QStringLiteral("Request Access"));
    light->setPixmap(statusLight(granted));
    light->setProperty(kStatusImageProperty,
                       QString::fromLatin1(granted ? NSImageNameStatusAvailable : NSImageNameStatusPartiallyAvailable));
}

std::string AccessController::statusImageName(const QLabel* light) {
    return light ? light->property(kStatusImageProperty).toString().toStdString() : std::string();
}

void AccessController::updateControlsState() {
    if (!window_) return;
    setRow(screenBtn_, screenStatus_, AccessHelper::recordScreenGranted());
    setRow(accesibilityBtn_, accesibilityStatus_, AccessHelper::accessibilityEnabled());
    setRow(fullDiskBtn_, fullDiskStatus_, AccessHelper::fullDiskAccessGranted());
    if (AccessHelper::allAccessGranted()) moveToCenter();
}

// ---------------------------------------------------------------------------------
// Actions

void AccessController::screen() {
    moveWindow();
    AccessHelper::requestScreenRecordingAccess();
}

void AccessController::accessibility() {
    moveWindow();
    AccessHelper::openAccessibility();
}

void AccessController::openFullDiskAccess() {
    moveWindow();
    std::weak_ptr<AccessController> weak = weak_from_this();
    AccessHelper::openFullDiskAccess([weak](bool granted) {
        // Handed over on the main run loop: the controls may be touched here.
        if (auto self = weak.lock()) self->setRow(self->fullDiskBtn_, self->fullDiskStatus_, granted);
        NotificationCenter::defaultCenter().postNotificationName("TrashAccess");
    });
}

std::string AccessController::contactURLString() {
    std::string url = std::string("mailto:") + kSupportMailAddress + "?Subject=" + kSupportMailSubject;
    std::string out;
    for (char c : url) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

void AccessController::contact() {
    moveWindow();
    if (auto* app = ApplicationInterface::installed()) app->activateIgnoringOtherApps();
    auto url = URL::URLWithString(contactURLString());
    auto* workspace = desktop::services().workspace.get();
    if (!url || !workspace || !workspace->openURL(*url)) {
        log("the mail program cannot be opened for ", contactURLString());
        desktop::tellUserItFailed("No mail program could be opened to write to the support address.");
    }
}

void AccessController::closeWindow() {
    stopTimer();
    // Hiding also ends a modal run.
    if (window_) window_->hide();
}

void AccessController::cipyToClipboard() {
    if (!terminalField_) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(terminalField_->text());
}

void AccessController::dontShow() { UserDefaults::standardUserDefaults().synchronize(); }

void AccessController::moveWindow() {
    if (!window_) return;
    // The lower right corner of the window's own screen.
    QRect area = screenArea(window_.get());
    QSize frame = window_->frameGeometry().size();
    window_->move(area.x() + area.width() - frame.width(), area.y() + area.height() - frame.height());
}

void AccessController::moveToCenter() {
    if (!window_) return;
    // Before the window is shown its frame is not known yet: it is centred once shown.
    centreWhenShown_ = !window_->isVisible();
    if (centreWhenShown_) return;
    QRect area = screenArea(window_.get());
    QSize frame = window_->frameGeometry().size();
    window_->move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}

bool AccessController::accessibilityEnabled() const { return AccessHelper::accessibilityEnabled(); }
void AccessController::openAccessibility() { AccessHelper::openAccessibility(); }

// ---------------------------------------------------------------------------------
// The window

void AccessController::setLevel(int level) {
    level_ = level;
    if (window_) applyLevel();
}

void AccessController::applyLevel() {
    // Floating (3) and modal-panel (8) levels both keep the window above normal windows.
    const bool above = level_ >= 3;
    if (window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == above) return;
    const bool shown = window_->isVisible();
    window_->setWindowFlag(Qt::WindowStaysOnTopHint, above);
    if (shown) window_->show();
}

void AccessController::orderFront() {
    QDialog* w = window();
    w->show();
    w->raise();
    w->activateWindow();
}

bool AccessController::isVisible() const { return window_ && window_->isVisible(); }

int AccessController::runModal() {
    QDialog* w = window();
    return w->exec();
}

}  // namespace qs
