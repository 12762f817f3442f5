// `cmake --install` into a temporary prefix puts every file where a desktop looks for it, the
// desktop's own validators accept the launcher and the metadata, the man pages render, both
// programs answer --help and --version, and the Debian package holds what the install does.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
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

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome RunProgram(const QString& program, const QStringList& args, int timeoutMs = 120000,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    Outcome run;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
    }
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The files `cmake --install` puts under `prefix`, relative to it.
QStringList InstallInto(const QString& prefix) {
    const Outcome install = RunProgram(
        QStringLiteral(QV_CMAKE), {"--install", QStringLiteral(QV_BINARY_DIR), "--prefix", prefix});
    EXPECT_EQ(install.status, 0) << install.out.toStdString() << install.err.toStdString();
    QStringList files;
    QDirIterator it(prefix, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << QDir(prefix).relativeFilePath(it.next());
    }
    return files;
}

// Runs a validator where it is installed: it must accept the file without a word.
void ExpectValid(const char* tool, const QStringList& args) {
    const QString program = QStandardPaths::findExecutable(QString::fromUtf8(tool));
    if (program.isEmpty()) {
        std::printf("%s is not installed (scripts/install-deps.sh): not checked\n", tool);
        return;
    }
    const Outcome run = RunProgram(program, args);
    EXPECT_EQ(run.status, 0) << tool << ": " << run.out.toStdString() << run.err.toStdString();
    if (QLatin1String(tool) == QLatin1String("desktop-file-validate")) {
        EXPECT_EQ(run.out + run.err, QString()) << tool;
    }
}

TEST(Install, PutsProgramIconsLauncherMetadataManPagesHelpAndSamplesInPlace) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QStringList files = InstallInto(prefix.path());
    const auto at = [&](const char* path) { return prefix.filePath(QString::fromUtf8(path)); };

#ifdef QV_HAVE_PROGRAM
    const QFileInfo program(at("bin/quorvane"));
    EXPECT_TRUE(program.isFile() && program.isExecutable());
#endif
    // Nothing of the programs' own runs beside them.
    EXPECT_FALSE(QFileInfo::exists(at("libexec/quorvane")));

    const QString launcher = at("share/applications/quorvane.desktop");
    EXPECT_EQ(DesktopValue(launcher, "Type"), "Application");
    EXPECT_EQ(DesktopValue(launcher, "Exec"), "quorvane");
    EXPECT_EQ(DesktopValue(launcher, "Icon"), "quorvane");
    EXPECT_EQ(DesktopValue(launcher, "Name"), "Quorvane");

    // Starting at log-in is each user's choice: nothing goes to the system's autostart folder.
    EXPECT_TRUE(files.filter(QStringLiteral("autostart")).isEmpty())
        << files.join(' ').toStdString();
    EXPECT_FALSE(QFileInfo::exists(at("etc")));
    ExpectValid("desktop-file-validate", {launcher});

    const QString metainfo = at("share/metainfo/com.calvort.Quorvane.metainfo.xml");
    ExpectValid("appstreamcli", {"validate", "--no-net", metainfo});
    QFile metadata(metainfo);
    ASSERT_TRUE(metadata.open(QIODevice::ReadOnly));
    // The newest release named is the project's version, as is the changelog's first entry.
    const QByteArray xml = metadata.readAll();
    EXPECT_TRUE(xml.contains("<release version=\"" QV_VERSION "\""));
    QFile changelog(QStringLiteral(QV_SOURCE_DIR "/packaging/changelog"));
    ASSERT_TRUE(changelog.open(QIODevice::ReadOnly));
    EXPECT_EQ(changelog.readLine(), "quorvane (" QV_VERSION ") unstable; urgency=medium\n");

    // The man pages, compressed, render without a warning.
    for (const char* page : {"share/man/man1/quorvane.1.gz", "share/man/man1/quorvane-cli.1.gz"}) {
        ASSERT_TRUE(QFileInfo(at(page)).isFile()) << page;
        QProcess man;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        man.setProcessEnvironment(env);
        man.start(QStringLiteral("man"), {"--warnings", "-l", at(page)});
        ASSERT_TRUE(man.waitForFinished(60000));
        EXPECT_EQ(man.exitCode(), 0) << page;
        EXPECT_EQ(man.readAllStandardError(), QByteArray()) << page;
        EXPECT_TRUE(man.readAllStandardOutput().contains("EXIT STATUS")) << page;
    }

    // The watcher's user unit starts the quorvane-cli of the prefix it was installed to, and
    // systemd, where it is installed, accepts it and finds the installed man page.
    const QString unit = at("lib/systemd/user/quorvane-watch.service");
    QFile unitFile(unit);
    ASSERT_TRUE(unitFile.open(QIODevice::ReadOnly)) << "the watcher's unit is not installed";
    const QByteArray unitText = unitFile.readAll();
    EXPECT_TRUE(
        unitText.contains("\nExecStart=" + QFile::encodeName(at("bin/quorvane-cli")) + " watch\n"))
        << unitText.toStdString();
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) {
        std::printf("systemd-analyze is not installed: the unit is not checked\n");
    } else {
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MANPATH"), at("share/man"));
        verify.setProcessEnvironment(env);
        verify.start(analyze, {"verify", unit});
        ASSERT_TRUE(verify.waitForFinished(60000));
        EXPECT_EQ(verify.exitCode(), 0);
        EXPECT_EQ(verify.readAllStandardError() + verify.readAllStandardOutput(), QByteArray());
        // The watcher runs sandboxed: its exposure stays at most 7.0 of 10 (9.6 without).
        QProcess security;
        security.start(analyze, {"security", "--offline=yes", "--threshold=70", unit});
        ASSERT_TRUE(security.waitForFinished(60000));
        EXPECT_EQ(security.exitCode(), 0) << security.readAllStandardOutput().right(200).data();
    }

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage image(prefix.filePath(
            QStringLiteral("share/icons/hicolor/%1x%1/apps/quorvane.png").arg(size)));
        EXPECT_EQ(image.size(), QSize(size, size)) << "hicolor size " << size;
    }
    EXPECT_TRUE(QFileInfo(at("share/icons/hicolor/scalable/apps/quorvane.svg")).isFile());

    // The installed program finds its help page from its own folder.
    EXPECT_EQ(qv::FindHelpFile(at("bin")), at("share/quorvane/quorvane.html"));

    // The samples are documents to copy to the web host, not programs of this machine.
    for (const char* sample : {"storeip.py", "echoip.py", "StoreIP.php", "forward.html"}) {
        const QFileInfo file(at("share/quorvane/samples/") + QLatin1String(sample));
        EXPECT_TRUE(file.isFile() && !file.isExecutable()) << sample;
    }
}

// Both programs: --help and --version on standard output with status 0, wrong usage on
// standard error with status 2.
TEST(Install, ProgramsAnswerHelpAndVersionAndReportWrongUsage) {
    QStringList programs{QStringLiteral(QV_CLI)};
#ifdef QV_HAVE_PROGRAM
    programs << QStringLiteral(QV_PROGRAM);
#endif
    for (const QString& program : programs) {
        const QString name = QFileInfo(program).fileName();
        const Outcome version = RunProgram(program, {"--version"});
        EXPECT_EQ(version.status, 0) << name.toStdString();
        EXPECT_EQ(version.out, name + QStringLiteral(" " QV_VERSION "\n"));
        const Outcome help = RunProgram(program, {"--help"});
        EXPECT_EQ(help.status, 0) << name.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: ") + name)) << name.toStdString();
        EXPECT_TRUE(help.out.contains(QStringLiteral("exit status"))) << name.toStdString();
        EXPECT_EQ(help.err, QString()) << name.toStdString();
        const Outcome wrong = RunProgram(program, {"--no-such-option"});
        EXPECT_EQ(wrong.status, 2) << name.toStdString();
        EXPECT_EQ(wrong.out, QString()) << name.toStdString();
        EXPECT_TRUE(wrong.err.contains(QStringLiteral("'--no-such-option'"))) << name.toStdString();
    }
}

// scripts/package.sh makes the Debian package from this build: every installed file under /usr,
// the copyright file and changelog, dependencies computed from the binaries, and nothing that
// lintian warns about.
TEST(Install, DebianPackageHoldsTheInstalledFilesAndComputedDependencies) {
    for (const char* tool : {"dpkg-shlibdeps", "lintian"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh --tests)";
        }
    }
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QV_BUILD_DIR"), QStringLiteral(QV_BINARY_DIR));
    const Outcome package = RunProgram(QStringLiteral(QV_SOURCE_DIR "/scripts/package.sh"),
                                       {"--no-build", out.path()}, 120000, env);
    ASSERT_EQ(package.status, 0) << package.err.toStdString();
    const QString deb = package.out.trimmed();
    EXPECT_TRUE(deb.endsWith(QStringLiteral(".deb"))) << deb.toStdString();

    const Outcome info = RunProgram(QStringLiteral("dpkg-deb"), {"--field", deb});
    const auto field = [&](const char* name) {
        const QRegularExpression line(QStringLiteral("^%1: (.*)$").arg(QLatin1String(name)),
                                      QRegularExpression::MultilineOption);
        return line.match(info.out).captured(1);
    };
    EXPECT_EQ(field("Package"), "quorvane");
    EXPECT_EQ(field("Version"), QV_VERSION);
    EXPECT_EQ(field("Section"), "net");
    EXPECT_FALSE(field("Maintainer").isEmpty());
    for (const char* library :
         {"libc6", "libqt6widgets6", "libqt6dbus6", "libcurl4", "libc-ares2"}) {
        EXPECT_TRUE(field("Depends").contains(QLatin1String(library)))
            << library << " in " << field("Depends").toStdString();
    }
    EXPECT_EQ(field("Recommends"), "qt6-wayland");

    const Outcome contents = RunProgram(QStringLiteral("dpkg-deb"), {"--contents", deb});
    QStringList packaged;
    for (const QString& line : contents.out.split('\n', Qt::SkipEmptyParts)) {
        packaged << line.section(' ', -1).section(QStringLiteral(" -> "), 0, 0);
    }
    QTemporaryDir prefix;
    for (const QString& file : InstallInto(prefix.path())) {
        EXPECT_TRUE(packaged.contains(QStringLiteral("./usr/") + file)) << file.toStdString();
    }
    for (const char* file :
         {"./usr/share/doc/quorvane/copyright", "./usr/share/doc/quorvane/changelog.gz"}) {
        EXPECT_TRUE(packaged.contains(QLatin1String(file))) << file;
    }
    EXPECT_TRUE(
        packaged.filter(QRegularExpression(QStringLiteral("^\\./(etc|usr/etc)/"))).isEmpty())
        << packaged.join(' ').toStdString();

    // The packaged unit starts the packaged program.
    QTemporaryDir unpacked;
    ASSERT_EQ(RunProgram(QStringLiteral("dpkg-deb"), {"--extract", deb, unpacked.path()}).status,
              0);
    QFile unit(unpacked.filePath(QStringLiteral("usr/lib/systemd/user/quorvane-watch.service")));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    EXPECT_TRUE(unit.readAll().contains("\nExecStart=/usr/bin/quorvane-cli watch\n"));

    // lintian with every check, the pedantic ones included: no error and no warning.
    const Outcome lint =
        RunProgram(QStringLiteral("lintian"),
                   {"--pedantic", "--display-info", "--tag-display-limit", "0", deb}, 240000);
    EXPECT_EQ(lint.status, 0) << lint.err.toStdString();
    const QStringList faults = lint.out.split('\n').filter(QRegularExpression("^[EW]: "));
    EXPECT_TRUE(faults.isEmpty()) << lint.out.toStdString();
}

}  // namespace
