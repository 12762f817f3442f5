#pragma once

// Tests that run themselves again inside private network namespaces, where they may build links
// and run servers of their own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "tests/support/EventLoop.h"
#include "tests/support/NamespaceChild.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"
#include "watch/ForwardingCommands.h"
#include "watch/WatchCore.h"

namespace qv::test {

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
    ListWithPane(INetTables& tables, IResolver& resolver) : doc(tables, resolver) {
        view.SetDocument(&adapter);
        pane.SetDocument(&adapter);
        pane.SetInfoView(&view);
        pane.Watcher().ListenTo(&doc);
    }
    // The user ticks the check box of `row`.
    void TickBox(int row) {
        view.model()->setData(view.model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
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
        : ListWithPane(tables, resolver), forwarder(pane.Watcher().SourcesForForwarder()) {
        pane.Watcher().RelayForwarder(forwarder);
        pane.SetForwarding(&commands);
        SettingsRecord& s = pane.Settings();
        s.HTTPTargetURL = s.StoredTargets.http = target;
        s.AutoForward = true;
        s.NotifyOnSend = false;
        s.CheckForChange = false;
    }
    // Runs what was posted and the work it started (its exchanges on the event loop) to its end.
    void Settle() {
        SettleWhile([this] { return pane.IsBusy(); });
    }
    Forwarder forwarder;
    ForwarderCommands commands{forwarder};
};

}  // namespace qv::test
