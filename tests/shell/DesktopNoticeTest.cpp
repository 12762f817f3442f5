// The self-closing notices against a notification service of the test's own on a private
// session bus: the desktop gets them while the window is hidden, the box stays otherwise.
#include <QDBusConnection>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "shell/DesktopNotice.h"

namespace qv {
namespace {

// Reads one line from a process, running the event loop meanwhile, as the notices' calls answer
// through it (the service and the bus start in well under a second; the bound is only for a
// process that failed).
QByteArray ReadLine(QProcess& process) {
    (void)QTest::qWaitFor([&] { return process.canReadLine(); }, 10000);
    return process.readLine().trimmed();
}

QString ShownBoxText() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            return box->text();
        }
    }
    return {};
}

// Shows a notice and reports the text of the box it opened, if any, closing it again. A box that
// stands in for the service opens once the service's failure is known.
QString RunAndCloseBox(DesktopNotice& notice, const QString& text, QWidget& window) {
    notice.Show(text, QStringLiteral("Quorvane Notification Dialog"), IPrompter::Information,
                &window, 60000);
    (void)QTest::qWaitFor([] { return !ShownBoxText().isEmpty(); }, 500);
    const QString shown = ShownBoxText();
    notice.CloseAll();
    QCoreApplication::processEvents();  // the closed box goes
    return shown;
}

TEST(DesktopNotice, GoesToTheServiceWhileTheWindowIsHiddenAndToABoxOtherwise) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed (scripts/install-deps.sh)";
    }
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    const QString address = QString::fromUtf8(ReadLine(bus));
    ASSERT_FALSE(address.isEmpty());
    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    service.setProcessEnvironment(env);
    service.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(QV_NOTIFICATION_SERVICE)});
    if (ReadLine(service) != "ready") {
        GTEST_SKIP() << "python3-dbus and python3-gi are needed (scripts/install-deps.sh)";
    }
    DesktopNotice notice(QDBusConnection::connectToBus(address, QStringLiteral("notices")));
    const QString text = QStringLiteral("Sent <192.0.2.7> & logged");

    // Hidden: to the service, titled with the program's name, the text escaped (the service
    // reads markup) and without the box's line breaks.
    QWidget window;
    EXPECT_EQ(RunAndCloseBox(notice, text + "\n second\r\r\nline", window), QString());
    const QJsonObject sent = QJsonDocument::fromJson(ReadLine(service)).object();
    EXPECT_EQ(sent.value("summary").toString(), "Quorvane");
    EXPECT_EQ(sent.value("body").toString(), (text + " second line").toHtmlEscaped());
    EXPECT_EQ(sent.value("app").toString(), "Quorvane");
    EXPECT_EQ(sent.value("icon").toString(), "quorvane");
    EXPECT_EQ(sent.value("entry").toString(), "quorvane");
    EXPECT_EQ(sent.value("replaces").toInt(), 0);

    // Shown: the box, and nothing for the service (the next line is the next hidden notice).
    window.show();
    EXPECT_EQ(RunAndCloseBox(notice, text, window), text);
    window.showMinimized();
    RunAndCloseBox(notice, QStringLiteral("minimised"), window);
    const QJsonObject next = QJsonDocument::fromJson(ReadLine(service)).object();
    EXPECT_EQ(next.value("body"), "minimised");
    EXPECT_EQ(next.value("replaces"), sent.value("id"));  // in place of the first

    // No service on the bus: the box again.
    window.hide();
    service.kill();
    service.waitForFinished();
    EXPECT_EQ(RunAndCloseBox(notice, text, window), text);
    bus.kill();
    bus.waitForFinished();
}

}  // namespace
}  // namespace qv
