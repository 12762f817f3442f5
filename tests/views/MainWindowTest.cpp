#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>

#include <cstring>

#include "ViewsTestSupport.h"
#include "platform/NetTables.h"
#include "platform/Resolver.h"
#include "settings/SettingsRecord.h"
#include "shell/MainWindow.h"
#include "tests/support/FakeMachine.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"

namespace qv {
namespace {

using test::Addr;

// The made-up machine with a gateway on the Ethernet card: its ARP entry and the default route.
class TwoInterfaces : public test::FakeTables {
  public:
    TableCopy<IpNetRow> NetTable() override {
        TableCopy<IpNetRow> t;
        IpNetRow gw;
        gw.index = 2;
        gw.address = Addr("192.168.7.1");
        const std::uint8_t mac[] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
        SetPhysAddr(gw.hardwareLength, gw.hardware, mac, sizeof mac);
        gw.type = kNetTypeDynamic;
        t.rows.push_back(gw);
        return t;
    }
    TableCopy<DefaultGatewayRow> DefaultGateways() override {
        TableCopy<DefaultGatewayRow> t;
        t.rows.push_back({2, Addr("192.168.7.1")});
        return t;
    }
};

TEST(MainWindow, OpensAt825By540WithTheListOnTopAndReadsWell) {
    test::RemoveSettingsFile();
    test::ScriptedPrompter prompter;
    test::PrompterGuard guard(&prompter);
    TwoInterfaces tables;
    test::FakeResolver resolver;
    MainWindow frame({&tables, &resolver});
    frame.OnInitialUpdate();
    frame.show();
    ASSERT_TRUE(test::WaitFor([&] { return frame.InfoView()->model()->rowCount() == 2; }));

    // The user ticks the second line: the tray tip follows.
    QAbstractItemModel* lines = frame.InfoView()->model();
    lines->setData(lines->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(frame.TrayTip(), "IP Address: 192.168.7.23");
    frame.CtrlView()->SetStatusLine(
        "http://www.example.com/ip.php?IPAddress=192.168.7.23&UserID=me");
    QCoreApplication::processEvents();

    EXPECT_EQ(frame.size(), QSize(825, 540));
    // The list gives up what the settings sheet needs beyond its 150 px (the General page's
    // third method box).
    EXPECT_EQ(frame.Splitter()->sizes().value(0), 137);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");
    EXPECT_EQ(frame.CtrlView()->LocalHostText(), "workbench     IP : 192.168.7.23");
    EXPECT_EQ(frame.CtrlView()->OutputHeading(), "Output Information");

    const QPixmap shot = frame.grab();
    EXPECT_EQ(shot.size(), QSize(825, 540));
    const QString path = QDir(QStringLiteral(QV_TEST_OUTPUT_DIR)).filePath("main-window.png");
    ASSERT_TRUE(shot.save(path));
    std::printf("Main window picture: %s\n", qPrintable(path));

    // The size the user gave the window is the one it opens with next time.
    frame.resize(900, 610);
    ASSERT_TRUE(test::WaitFor([&] { return frame.size() == QSize(900, 610); }));
    frame.ShutDown();
    EXPECT_EQ(OpenSettings()->value("Data/NICDescription").toString(), "enp3s0");
    MainWindow next({&tables, &resolver});
    next.OnInitialUpdate();
    EXPECT_EQ(next.size(), QSize(900, 610));
}

}  // namespace
}  // namespace qv
