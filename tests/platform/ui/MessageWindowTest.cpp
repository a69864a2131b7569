// What the user is told when no program takes the work the dock hands on: a small
// message window with what failed and why, the reason the backend gave, and no second
// window for a message already on the screen.

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/UserMessages.h"
#include "platform/ui/MessageWindow.h"
#include "support/TestEnvironment.h"

namespace qs::test {
namespace {

class WindowMessages : public desktop::UserMessages {
public:
    void show(const desktop::UserMessage& message) override { MessageWindow::show(message); }
};

class MessageWindowTest : public IsolatedTest {
protected:
    MessageWindowTest() {
        desktop::Services services;
        services.messages = std::make_shared<WindowMessages>();
        desktop::install(std::move(services));
        desktop::takeFailureReason();
    }
    ~MessageWindowTest() override {
        for (QMessageBox* box : MessageWindow::shown()) box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        desktop::install({});
    }
};

TEST_F(MessageWindowTest, AFailureIsShownWithTheReasonTheBackendGave) {
    desktop::noteFailureReason("No file manager runs on this desktop.");
    desktop::tellUserItFailed("The Trash could not be opened.");
    auto shown = MessageWindow::shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->text(), "The Trash could not be opened.");
    EXPECT_EQ(shown[0]->informativeText(), "No file manager runs on this desktop.");
    EXPECT_FALSE(shown[0]->isModal()) << "the dock goes on while it shows";
    EXPECT_TRUE(env.logged("told the user: The Trash could not be opened.")) << "the log line stays";

    // The reason was taken: a later failure without one says so in general words.
    desktop::tellUserItFailed("\u201cnotes.txt\u201d could not be opened.");
    shown = MessageWindow::shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]->informativeText(), "No program on this desktop could do it.");
}

TEST_F(MessageWindowTest, TheSameMessageTwiceShowsOneWindow) {
    for (int i = 0; i < 3; ++i) desktop::tellUser({"The Trash could not be opened.", "No file manager."});
    EXPECT_EQ(MessageWindow::shown().size(), 1u);
    MessageWindow::shown().front()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(MessageWindow::shown().empty());
    desktop::tellUser({"The Trash could not be opened.", "No file manager."});
    EXPECT_EQ(MessageWindow::shown().size(), 1u) << "closed, it shows again next time";
}

}  // namespace
}  // namespace qs::test
