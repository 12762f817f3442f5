#include <gtest/gtest.h>

#include "cli/Commands.h"
#include "settings/SettingsRecord.h"
#include "tests/network/DocFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace qv::test {
namespace {

// The rows as lines, written in blocks: a list too long for one block loses no row, and a failed
// write is told.
TEST(NetworkCli, OneTabSeparatedLinePerRow) {
    DocFixture f;
    std::vector<IpAddrRow> addrs = {Addr("10.0.0.5", 2), Addr("10.0.0.6", 2)};
    for (int i = 0; i < 1000; ++i) {
        addrs.push_back(
            Addr(qPrintable(QStringLiteral("10.0.%1.%2").arg(4 + i / 250).arg(i % 250 + 1)), 2));
    }
    f.tables.addr = Table<IpAddrRow>(addrs);
    f.tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1, 2})});
    f.tables.ifs = Table<IfRow>({If(2, "eth0")});
    // A hostile reverse answer: C0, C1 and DEL controls around a letter that is not ASCII. The
    // name comes replaced as every name from outside; the tab, kept there, is the field separator
    // here and shows as a blank.
    f.resolver.Name("10.0.0.5", QString::fromUtf8("evil\tname\nwith\rbreaks\u0085\u00fc\x7f"));
    f.doc.RefreshNetworkInfo(-1);

    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ASSERT_TRUE(WriteRows(f.doc, out));
    std::fclose(out);
    const QList<QByteArray> lines = QByteArray(text, static_cast<qsizetype>(size)).split('\n');
    std::free(text);
    ASSERT_GT(size, 64u * 1024);
    ASSERT_EQ(lines.size(), 1003);
    EXPECT_EQ(lines[0],
              "10.0.0.5\t0x2\tdynamic\teth0\t02-00-00-00-00-01\t"
              "evil name\xef\xbf\xbd"
              "with\xef\xbf\xbd"
              "breaks\xef\xbf\xbd"
              "\xc3\xbc\xef\xbf\xbd"
              "\t10.0.0.254\t"
              "01-02\t255.255.255.0\t10.0.0.255\tAll is OK!");
    for (qsizetype i = 1; i < 1002; ++i) {
        EXPECT_EQ(lines[i].count('\t'), 10) << i;
    }
    EXPECT_TRUE(lines[1001].startsWith("10.0.7.250\t"));
    EXPECT_TRUE(lines[1002].isEmpty());

    // The same rows for scripts: raw values (the name as replaced at its source), null where a
    // row knows none.
    const QJsonObject first = QJsonDocument::fromJson(RowsAsJson(f.doc)).array().first().toObject();
    EXPECT_EQ(first["index"], 2);
    EXPECT_EQ(first["interface"], "eth0");
    EXPECT_EQ(first["mac"], "02:00:00:00:00:01");
    EXPECT_EQ(first["gatewayMac"], "01:02");
    EXPECT_EQ(first["hostName"],
              QString::fromUtf8("evil\tname\ufffdwith\ufffdbreaks\ufffd\u00fc\ufffd"));
    EXPECT_EQ(first["family"], "ipv4");
    EXPECT_EQ(first["ticked"], false);

    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_FALSE(WriteRows(f.doc, full));
    std::fclose(full);
}

TEST(NetworkCli, ListReadsTheProgramsSettingsFileAndNeverWritesIt) {
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", qPrintable(config.path()), 1);
    // A runtime folder of its own: the one-copy lock of tests running beside it is elsewhere.
    ASSERT_TRUE(QDir(config.path()).mkdir("run"));
    QFile::setPermissions(config.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto run = [&](const QStringList& args, QByteArray* out, QByteArray* err) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("RES_OPTIONS", "timeout:1 attempts:1");
        env.insert("XDG_RUNTIME_DIR", config.filePath("run"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QV_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        *out = p.readAllStandardOutput();
        *err = p.readAllStandardError();
        return p.exitCode();
    };
    // Written the program's way: its settings (the router is not asked: tests reach no network
    // of the machine's) and a selection of an interface this machine does not have.
    SettingsRecord quiet;
    quiet.AskRouter = false;
    ASSERT_TRUE(SaveSettings(quiet, 0));
    {
        const auto profile = OpenSettings();
        DocFixture f;
        f.doc.SetProfile(profile.get());
        f.doc.m_interfaceNum = "0x7FFF";
        f.doc.m_nicDescription = "qv-none";
        ASSERT_TRUE(f.doc.StoreSelection());
    }
    QFile file(SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    file.close();
    QByteArray out, err;
    EXPECT_EQ(run({"list"}, &out, &err), 0);
    EXPECT_TRUE(err.contains("Updating IP Address information"));
    // Messages are stamped with the time in ISO form, once per line.
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\S* Updating IP",
                                   QRegularExpression::MultilineOption)
                    .match(QString::fromLocal8Bit(err))
                    .hasMatch())
        << err.data();
    EXPECT_TRUE(err.contains("Interface 0x7FFF or NIC Card 'qv-none' have been changed"))
        << err.data();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), stored);

    EXPECT_EQ(run({"frobnicate"}, &out, &err), 2);
    EXPECT_TRUE(err.startsWith("quorvane-cli: unknown command 'frobnicate'\nusage: quorvane-cli"));

    // The watcher refuses, in one line and with status 2, settings that cannot work and a
    // choice that is not on this machine; none of it touches the file.
    const auto refused = [&](const QStringList& args, const char* why) {
        EXPECT_EQ(run(args, &out, &err), 2) << why;
        EXPECT_TRUE(err.contains(why)) << err.data();
        EXPECT_EQ(err.count("quorvane-cli:"), 1) << err.data();
    };
    refused({"watch"}, "forwarding is not set up: no HTTP target URL");
    SettingsRecord configured = quiet;
    configured.HTTPTargetURL = QStringLiteral("http://127.0.0.1:9/ip.php");
    configured.AutoForward = false;
    ASSERT_TRUE(SaveSettings(configured, 0));
    refused({"watch"}, "forwarding changes automatically is off");
    configured.AutoForward = true;
    configured.CheckForChange = true;
    ASSERT_TRUE(SaveSettings(configured, 0));
    refused({"watch", "--interface", "qv-none"}, "the interface 'qv-none' is not on this machine");
    refused({"watch", "--address", "300.1.2.3"}, "the address '300.1.2.3' is not on this machine");
    refused({"watch", "--address", "2001:DB8:0::99"}, "the address '2001:db8::99' is not on");
    // The check says what would happen, on standard output, and fails where it would fail.
    EXPECT_EQ(run({"check", "--probe"}, &out, &err), 1);
    for (const char* line : {"method: HTTP\n", "target: http://127.0.0.1:9/ip.php (well formed)\n",
                             "ticked: 0x7FFF 'qv-none' (not present)\n",
                             "connection: the target's host was not reached\n"}) {
        EXPECT_TRUE(out.contains(line)) << line << "\n" << out.data();
    }

    // A script's view: the rows as JSON objects with raw values, or the table with a header line;
    // the default table is unchanged.
    const QByteArray table = (run({"list"}, &out, &err), out);
    ASSERT_EQ(run({"list", "--json", "-q"}, &out, &err), 0);
    EXPECT_FALSE(err.contains("Updating")) << "-q shows only failures and warnings";
    QJsonParseError parsed;
    const QJsonArray rows = QJsonDocument::fromJson(out, &parsed).array();
    ASSERT_EQ(parsed.error, QJsonParseError::NoError) << out.data();
    ASSERT_EQ(rows.size(), table.count('\n'));
    ASSERT_FALSE(rows.isEmpty());
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        EXPECT_EQ(row.size(), 14);
        EXPECT_TRUE(row["index"].isDouble() && row["ticked"].isBool()) << out.data();
        EXPECT_EQ(row["source"], "local");
        EXPECT_TRUE(row["family"] == "ipv4" || row["family"] == "ipv6");
        EXPECT_TRUE(row["mac"].isNull() || !row["mac"].toString().contains('-'));
        EXPECT_TRUE(table.contains(row["address"].toString().toLatin1() + '\t'));
    }
    ASSERT_EQ(run({"list", "--header"}, &out, &err), 0);
    EXPECT_TRUE(out.startsWith("address\tindex\ttype\tinterface\t"));
    EXPECT_EQ(out.count('\n'), table.count('\n') + 1);

    // Under the journal (JOURNAL_STREAM names standard error) a failure carries the error
    // priority instead of a time stamp.
    {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", config.filePath("run"));
        p.setProcessEnvironment(env);
        p.start("sh", {"-c",
                       "JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) exec \"$0\" watch "
                       "--interface qv-none",
                       QStringLiteral(QV_CLI_PATH)});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 2);
        const QString journal = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(journal.contains("\n<3>quorvane-cli: the interface 'qv-none'"))
            << qPrintable(journal);
        EXPECT_TRUE(QRegularExpression("^(<[3-7]>[^<\\n]+\\n)+$").match(journal).hasMatch())
            << qPrintable(journal);
    }

    // A FIFO in place of the settings file is refused at once, not waited on.
    QFile::remove(SettingsFilePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(SettingsFilePath()).constData(), 0600), 0);
    EXPECT_EQ(run({"list"}, &out, &err), 1);
    EXPECT_TRUE(err.contains("is not a regular file")) << err.data();
    unsetenv("XDG_CONFIG_HOME");
}

// Every command checks its whole command line: a wrong one is status 2 with the reason and the
// command's usage line on standard error; --help is the usage on standard output.
TEST(NetworkCli, EachCommandTakesOnlyItsOwnArguments) {
    struct Case {
        QStringList args;
        const char* why;
    };
    const Case wrong[] = {
        {{"list", "extra"}, "unexpected argument 'extra'"},
        {{"list", "--jsn"}, "unknown option '--jsn'"},
        {{"list", "--json=yes"}, "unknown option '--json=yes'"},
        {{"send", "-q", "now"}, "unexpected argument 'now'"},
        {{"offline", "--probe"}, "unknown option '--probe'"},
        {{"check", "--json"}, "unknown option '--json'"},
        {{"watch", "--address"}, "option '--address' needs a value"},
        {{"watch", "--interface", "--once"}, "option '--interface' needs a value"},
    };
    for (const Case& c : wrong) {
        QProcess p;
        p.start(QStringLiteral(QV_CLI_PATH), c.args);
        ASSERT_TRUE(p.waitForFinished(30000));
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(p.exitCode(), 2) << c.why;
        EXPECT_EQ(p.readAllStandardOutput(), QByteArray()) << c.why;
        EXPECT_TRUE(err.startsWith("quorvane-cli: " + QByteArray(c.why) + "\nusage: quorvane-cli " +
                                   c.args.first().toLatin1() + " "))
            << err.data();
        EXPECT_EQ(err.count('\n'), 2) << err.data();
    }
    for (const char* command : {"list", "watch", "check", "status", "send", "offline"}) {
        QProcess p;
        p.start(QStringLiteral(QV_CLI_PATH), {command, "--help"});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << command;
        EXPECT_TRUE(p.readAllStandardOutput().startsWith("usage: quorvane-cli " +
                                                         QByteArray(command) + " "))
            << command;
    }
}

}  // namespace
}  // namespace qv::test
