#include <gtest/gtest.h>

#include <QProcess>
#include <QFile>
#include <QStandardPaths>



// The desktop entry that makes the program a handler of "feed" links: valid
// for the desktop's tools, started with the link as its one argument.
TEST(DesktopEntry, ValidAndHandlesFeedLinks) {
    const QString file = QStringLiteral(TALLOWMERE_DESKTOP_FILE);
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate (desktop-file-utils) is not installed";
    QProcess validate;
    validate.start(validator, {file});
    ASSERT_TRUE(validate.waitForFinished(10000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString()
                                      << validate.readAllStandardError().toStdString();

    QFile entry(file);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const auto lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("Exec=tallowmere %u")));
    EXPECT_TRUE(lines.contains(QStringLiteral("MimeType=x-scheme-handler/feed;")));
}
