#include <gtest/gtest.h>

#include "cli/Commands.h"
#include "tests/network/DocFixtures.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace qv::test {
namespace {

TEST(NetworkCli, OneTabSeparatedLinePerRow) {
    DocFixture f;
    f.tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2)});
    f.tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1, 2})});
    f.tables.ifs = Table<IfRow>({If(2, "eth0")});
    f.resolver.Name("10.0.0.5", "evil\tname\nwith\rbreaks");  // a hostile reverse answer
    f.doc.RefreshNetworkInfo(-1);

    const QList<QByteArray> lines = FormatRows(f.doc).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0],
              "10.0.0.5\t0x2\tdynamic\teth0\t02-00-00-00-00-01\tevil name with breaks\t10.0.0.254\t"
              "01-02\t255.255.255.0\t255.255.255.255\tAll is OK!");
    EXPECT_EQ(lines[1].count('\t'), 10);
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST(NetworkCli, ListNeverWritesTheSettingsAndUnknownCommandsFail) {
    QTemporaryDir config;
    auto run = [&](const QStringList& args, QByteArray* err) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("RES_OPTIONS", "timeout:1 attempts:1");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        *err = p.readAllStandardError();
        return p.exitCode();
    };
    QByteArray err;
    EXPECT_EQ(run({"list"}, &err), 0);
    EXPECT_TRUE(err.contains("Updating IP Address information"));
    EXPECT_TRUE(QDir(config.path()).isEmpty()) << "list wrote to the settings folder";

    EXPECT_EQ(run({"frobnicate"}, &err), 2);
    EXPECT_TRUE(err.startsWith("usage: quorvane-cli"));
}

}  // namespace
}  // namespace qv::test
