#pragma once

// Tests that run themselves again inside private network namespaces, where they may build links
// and run servers of their own.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"
#include "watch/DocAdapter.h"
#include "watch/ForwardingCommands.h"

namespace qv::test {

inline const char* const kChildVariable = "QV_NETNS_CHILD";

inline bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// In the parent: runs the current test again in a child inside private namespaces and reports
// its outcome; *inside stays false. In the child: *inside is true and the test goes on.
inline void RunInPrivateNamespaces(bool* inside) {
    *inside = std::getenv(kChildVariable) != nullptr;
    if (*inside) {
        return;
    }
    if (QProcess::execute("ip", {"-V"}) != 0) {
        GTEST_SKIP() << "iproute2 ('ip') is not installed";
    }
    QStringList unshare;
    for (const QStringList& args :
         {QStringList{"-m", "-n", "-u"}, QStringList{"-r", "-m", "-n", "-u"}}) {
        if (QProcess::execute("unshare", args + QStringList{"true"}) == 0) {
            unshare = args;
            break;
        }
    }
    if (unshare.isEmpty()) {
        GTEST_SKIP() << "private namespaces are not allowed here (unshare -m -n -u failed)";
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();

    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare",
                unshare + QStringList{self, QStringLiteral("--gtest_filter=%1.%2")
                                                .arg(test->test_suite_name(), test->name())});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QByteArray out = child.readAll();
    if (out.contains("[  SKIPPED ]")) {
        GTEST_SKIP() << "skipped inside the namespace:\n" << out.toStdString();
    }
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

// The application object of a test inside the namespace, with a settings folder of its own.
struct ProgramInNamespace {
    ProgramInNamespace() { setenv("XDG_CONFIG_HOME", qPrintable(config.path()), 1); }
    QTemporaryDir config;
    int argc = 1;
    char name[14] = "netlink_tests";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

// The list and the control pane on one document, wired as the main window wires them.
struct ListWithPane {
    ListWithPane(INetTables& tables, IResolver& resolver) : doc(nullptr, tables, resolver) {
        view.SetDocument(&adapter);
        pane.SetDocument(&adapter);
        pane.SetInfoView(&view);
        doc.SetHost(&pane.Watcher());
    }
    AddressList doc;
    DocAdapter adapter{doc};
    AddressListView view;
    ControlPane pane;
};

// The same with a forwarder that sends each change at once by HTTP to `target` (or by the
// method and to the targets the pane's settings name); the pane does not poll.
struct ForwardingPane : ListWithPane {
    ForwardingPane(INetTables& tables, IResolver& resolver, const QString& target)
        : ListWithPane(tables, resolver), forwarder(pane.Watcher(), Options()) {
        pane.SetForwarding(&commands);
        SettingsRecord& s = pane.Settings();
        s.HTTPTargetURL = target;
        s.AutoForward = true;
        s.NotifyOnSend = false;
        s.CheckForChange = false;
    }
    ForwarderOptions Options() {
        ForwarderOptions options;
        options.storedSetting = [this](const QString& key) {
            const SettingsRecord& st = pane.Settings();
            return key == "HTTPTargetURL"  ? st.HTTPTargetURL
                   : key == "FTPTargetURL" ? st.FTPTargetURL
                                           : QString();
        };
        return options;
    }
    // Runs what was posted and the work it started (its exchanges on the event loop) to its end.
    void Settle() {
        QElapsedTimer waited;
        waited.start();
        do {
            QCoreApplication::sendPostedEvents();
            while (pane.IsBusy() && waited.elapsed() < 20000) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
            QCoreApplication::sendPostedEvents();
        } while (pane.IsBusy() && waited.elapsed() < 20000);
    }
    Forwarder forwarder;
    ForwarderCommands commands{forwarder};
};

}  // namespace qv::test
