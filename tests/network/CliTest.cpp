#include <gtest/gtest.h>

#include "cli/Commands.h"
#include "tests/network/DocFixtures.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace qv::test {
namespace {

TEST(NetworkCli, RowsAreTabSeparatedLines) {
    DocFixture f;
    f.tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2)});
    f.tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1, 2})});
    f.tables.ifs = Table<IfRow>({If(2, "eth0")});
    f.resolver.Name("10.0.0.5", "evil\tname\nwith\rbreaks");
    f.resolver.Name("10.0.0.6", "ok.example");
    f.doc.RefreshNetworkInfo(-1);

    const QList<QByteArray> lines = FormatRows(f.doc).split('\n');
    ASSERT_EQ(lines.size(), 3);  // two rows and the empty rest after the last break
    EXPECT_EQ(lines[0],
              "10.0.0.5\t0x2\tdynamic\teth0\t02-00-00-00-00-01\tevil name with breaks\t10.0.0.254\t"
              "01-02\t255.255.255.0\t255.255.255.255\tAll is OK!");
    EXPECT_EQ(lines[1].count('\t'), 10);
    EXPECT_TRUE(lines[2].isEmpty());
}

class NetworkCliProcess : public ::testing::Test {
  protected:
    struct Result {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Result Run(const QStringList& args) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("RES_OPTIONS", "timeout:1 attempts:1");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QTemporaryDir config;
};

TEST_F(NetworkCliProcess, UnknownCommandGivesUsage) {
    for (const QStringList& args : {QStringList{"frobnicate"}, QStringList{}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.startsWith("usage: quorvane-cli"));
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(NetworkCliProcess, ListReadsButNeverWritesTheSettings) {
    const Result r = Run({"list"});
    EXPECT_EQ(r.exitCode, 0);
    for (const QByteArray& line : r.out.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.count('\t'), 10) << line.toStdString();
        }
    }
    EXPECT_TRUE(r.err.contains("Updating IP Address information"));
    EXPECT_TRUE(QDir(config.path()).isEmpty()) << "list created files in the settings folder";
}

}  // namespace
}  // namespace qv::test
