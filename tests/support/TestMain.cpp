#include <QApplication>
#include <gtest/gtest.h>

// Tests run with QT_QPA_PLATFORM=offscreen (set by CTest); a QApplication exists so
// that images, fonts, screens and widgets are available.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The X11 test programs ask for the xcb platform; without a display every one of their
    // tests skips, and the program still needs a platform that starts.
    const bool wantsXcb = qgetenv("QT_QPA_PLATFORM") == "xcb";
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || (wantsXcb && qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
