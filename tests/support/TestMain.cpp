#include <QApplication>
#include <gtest/gtest.h>

// Tests run with QT_QPA_PLATFORM=offscreen (set by CTest); a QApplication exists so
// that images, fonts, screens and widgets are available.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
