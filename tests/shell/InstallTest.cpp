// `cmake --install` into a temporary prefix puts every file where a desktop looks for it.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "shell/HelpPath.h"

namespace {

QString DesktopValue(const QString& file, const QString& key) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return QStringLiteral("<unreadable>");
    }
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && line.startsWith(key + QLatin1Char('='))) {
            return line.mid(key.size() + 1);
        }
    }
    return {};
}

TEST(Install, PutsProgramIconsLauncherAutostartHelpAndSamplesInPlace) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(QV_CMAKE),
                {"--install", QStringLiteral(QV_BINARY_DIR), "--prefix", prefix.path()});
    ASSERT_TRUE(cmake.waitForFinished(120000));
    ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAll().toStdString();
    const auto at = [&](const char* path) { return prefix.filePath(QString::fromUtf8(path)); };

#ifdef QV_HAVE_PROGRAM
    const QFileInfo program(at("bin/quorvane"));
    EXPECT_TRUE(program.isFile() && program.isExecutable());
#endif

    const QString launcher = at("share/applications/quorvane.desktop");
    EXPECT_EQ(DesktopValue(launcher, "Type"), "Application");
    EXPECT_EQ(DesktopValue(launcher, "Exec"), "quorvane");
    EXPECT_EQ(DesktopValue(launcher, "Icon"), "quorvane");
    EXPECT_EQ(DesktopValue(launcher, "Name"), "Quorvane");

    const QString autostart = at("etc/xdg/autostart/quorvane.desktop");
    EXPECT_EQ(DesktopValue(autostart, "Exec"), "quorvane");
    EXPECT_EQ(DesktopValue(autostart, "NoDisplay"), "true");

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage image(prefix.filePath(
            QStringLiteral("share/icons/hicolor/%1x%1/apps/quorvane.png").arg(size)));
        EXPECT_EQ(image.size(), QSize(size, size)) << "hicolor size " << size;
    }
    EXPECT_TRUE(QFileInfo(at("share/icons/hicolor/scalable/apps/quorvane.svg")).isFile());

    // The installed program finds its help page from its own folder.
    EXPECT_EQ(qv::FindHelpFile(at("bin")), at("share/quorvane/quorvane.html"));

    const QFileInfo cgi(at("share/quorvane/samples/storeip.py"));
    EXPECT_TRUE(cgi.isFile() && cgi.isExecutable());
    EXPECT_TRUE(QFileInfo(at("share/quorvane/samples/StoreIP.php")).isFile());
    EXPECT_TRUE(QFileInfo(at("share/quorvane/samples/forward.html")).isFile());
}

}  // namespace
