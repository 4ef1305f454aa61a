#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

// Widgets, fonts and pictures need an application object; tests run headless.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Numbers are shown in the user's locale; the tests run as a Polish user.
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    return RUN_ALL_TESTS();
}
