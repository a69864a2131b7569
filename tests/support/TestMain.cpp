#include <QGuiApplication>
#include <gtest/gtest.h>

// Tests run with QT_QPA_PLATFORM=offscreen (set by CTest); a QGuiApplication exists so
// that images, fonts and screens are available.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
