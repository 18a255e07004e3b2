#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Widget tests run without a display unless one is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings the tests write go to a test location, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    // Settings the windows keep (recent files) go to a scratch place, not
    // the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setOrganizationName(QStringLiteral("Velmar"));
    QApplication::setApplicationName(QStringLiteral("Velmar"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
