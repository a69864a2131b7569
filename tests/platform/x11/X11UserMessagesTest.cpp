// What the user is told on a real desktop: a notification when a notification service is
// on the session bus (a service of the test's own, on a dbus-daemon of its own), else,
// or when the service refuses it, the message window.

#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <gtest/gtest.h>

#include "platform/x11/X11DockFixture.h"
#include "platform/x11/X11UserMessages.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

// A notification service that notes what it is asked, or refuses it.
class Notifier : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    bool refuse = false;
    QStringList summaries, bodies;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int, const QDBusMessage& message) {
        if (refuse) {
            QDBusConnection(connectionName).send(message.createErrorReply(QDBusError::AccessDenied, "not now"));
            return 0;
        }
        summaries << summary;
        bodies << body;
        return uint(summaries.size());
    }

public:
    QString connectionName;
};

class UserMessagesTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        bus.start();
        if (bus.address.empty()) GTEST_SKIP() << "dbus-daemon could not be started";
    }
    void TearDown() override {
        if (!serviceName.isEmpty()) QDBusConnection::disconnectFromBus(serviceName);
        bus.stop();
    }
    // Puts a notification service on the bus.
    void startNotifier() {
        serviceName = QStringLiteral("fake-notifier ") + QString::fromStdString(bus.address);
        QDBusConnection c = QDBusConnection::connectToBus(QString::fromStdString(bus.address), serviceName);
        ASSERT_TRUE(c.isConnected());
        notifier.connectionName = serviceName;
        ASSERT_TRUE(c.registerObject("/org/freedesktop/Notifications", &notifier, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(c.registerService("org.freedesktop.Notifications"));
    }
    template <class F>
    bool pumpUntil(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }

    fixture::PrivateBus bus;
    Notifier notifier;
    QString serviceName;
    std::vector<std::string> windows;
    X11UserMessages::Window window = [this](const desktop::UserMessage& m) { windows.push_back(m.text); };
};

TEST_F(UserMessagesTest, WithoutANotificationServiceTheMessageGoesToTheWindow) {
    X11UserMessages messages(window, bus.address);
    EXPECT_FALSE(messages.notificationServiceAvailable());
    messages.show({"The Trash could not be opened.", "No file manager runs on this desktop."});
    EXPECT_EQ(windows, std::vector<std::string>{"The Trash could not be opened."});
}

TEST_F(UserMessagesTest, ANotificationServiceShowsItAndNoWindowOpens) {
    startNotifier();
    X11UserMessages messages(window, bus.address);
    EXPECT_TRUE(messages.notificationServiceAvailable());
    messages.show({"\u201cnotes.txt\u201d could not be opened.", "No application on this desktop opens it."});
    ASSERT_TRUE(pumpUntil([&] { return !notifier.summaries.isEmpty(); }));
    EXPECT_EQ(notifier.summaries.front(), QString::fromUtf8("\u201cnotes.txt\u201d could not be opened."));
    EXPECT_EQ(notifier.bodies.front(), "No application on this desktop opens it.");
    EXPECT_TRUE(windows.empty());
}

TEST_F(UserMessagesTest, AMessageTheServiceRefusesGoesToTheWindow) {
    startNotifier();
    notifier.refuse = true;
    X11UserMessages messages(window, bus.address);
    messages.show({"The Trash could not be opened.", "No file manager runs on this desktop."});
    EXPECT_TRUE(windows.empty()) << "the answer is not waited for";
    EXPECT_TRUE(pumpUntil([&] { return !windows.empty(); }));
    EXPECT_TRUE(env.logged("the notification service refused a message"));
}

}  // namespace
}  // namespace qs::x11

#include "X11UserMessagesTest.moc"
