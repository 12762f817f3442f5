#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <map>

namespace {

const char* const kBusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// A session bus of the test's own that starts no service by itself, a home for the keyring's
// files and a settings folder; the password store runs in KEYRING_PROBE processes on that bus.
class KeyringTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"dbus-daemon", "gnome-keyring-daemon", "dbus-send"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        const QString root = m_dir.path();
        for (const char* sub : {"/home", "/config", "/data", "/run"}) {
            ASSERT_TRUE(QDir().mkpath(root + sub));
        }
        ::chmod(QFile::encodeName(root + "/run").constData(), 0700);
        QFile config(root + "/bus.conf");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(kBusConfig);
        config.close();
        m_bus.start("dbus-daemon",
                    {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
        ASSERT_TRUE(m_bus.waitForReadyRead(10000)) << "the private bus did not start";
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.remove("DISPLAY");  // no unlock prompt can show
        m_env.remove("WAYLAND_DISPLAY");
        m_env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(m_bus.readLine().trimmed()));
        m_env.insert("HOME", root + "/home");
        m_env.insert("XDG_CONFIG_HOME", root + "/config");
        m_env.insert("XDG_DATA_HOME", root + "/data");
        m_env.insert("XDG_RUNTIME_DIR", root + "/run");
        m_settingsFile = root + "/config/Calvort/Quorvane.conf";
    }

    void TearDown() override {
        StopKeyring();
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }

    // gnome-keyring-daemon on the bus, its login keyring unlocked by "pw" (or left locked).
    void StartKeyring(bool unlocked = true) {
        QStringList args = {"--foreground", "--components=secrets"};
        StartOwner("gnome-keyring-daemon", unlocked ? args << "--unlock" : args,
                   unlocked ? "pw" : "");
    }
    // A keyring that owns the name and never answers.
    void StartSilentKeyring() {
        StartOwner("/usr/bin/python3",
                   {"-c",
                    "import dbus, dbus.lowlevel, dbus.mainloop.glib, dbus.service\n"
                    "from gi.repository import GLib\n"
                    "dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)\n"
                    "bus = dbus.SessionBus()\n"
                    "calls = dbus.lowlevel.MethodCallMessage\n"
                    "bus.add_message_filter(lambda c, m: 0 if isinstance(m, calls) else 1)\n"
                    "name = dbus.service.BusName('org.freedesktop.secrets', bus)\n"
                    "GLib.MainLoop().run()\n"},
                   "");
    }
    // Starts the program that owns org.freedesktop.secrets and waits until it does.
    void StartOwner(const QString& program, const QStringList& args, const QByteArray& input) {
        m_keyring.setProcessEnvironment(m_env);
        m_keyring.start(program, args);
        ASSERT_TRUE(m_keyring.waitForStarted(5000));
        m_keyring.write(input);
        m_keyring.waitForBytesWritten(5000);
        m_keyring.closeWriteChannel();
        for (int i = 0; i < 100 && !SecretsOnBus(); ++i) {
            QThread::msleep(100);
        }
        ASSERT_TRUE(SecretsOnBus()) << "the keyring did not appear on the bus: "
                                    << m_keyring.readAllStandardError().toStdString();
    }
    void StopKeyring() {
        if (m_keyring.state() != QProcess::NotRunning) {
            m_keyring.terminate();
            m_keyring.waitForFinished(5000);
        }
    }
    bool SecretsOnBus() {
        QProcess ask;
        ask.setProcessEnvironment(m_env);
        ask.start("dbus-send",
                  {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                   "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"});
        ask.waitForFinished(5000);
        return ask.readAllStandardOutput().contains("boolean true");
    }

    struct Outcome {
        int status = -1;
        QString out;
        QString err;
    };
    Outcome Probe(const QStringList& args, const QString& program = QStringLiteral(KEYRING_PROBE)) {
        QProcess probe;
        probe.setProcessEnvironment(m_env);
        probe.start(program, args);
        probe.waitForFinished(60000);
        return {probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1,
                QString::fromUtf8(probe.readAllStandardOutput()),
                QString::fromUtf8(probe.readAllStandardError())};
    }

    void Store(const std::map<QString, QVariant>& values) {
        QSettings file(m_settingsFile, QSettings::IniFormat);
        for (const auto& [key, value] : values) {
            file.setValue("Settings/" + key, value);
        }
    }
    QVariant Stored(const QString& key) const {
        return QSettings(m_settingsFile, QSettings::IniFormat).value("Settings/" + key);
    }
    QByteArray FileBytes() const {
        QFile f(m_settingsFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The labels of the login keyring's items, as a keyring manager lists them.
    QString Labels() {
        QProcess python;
        python.setProcessEnvironment(m_env);
        python.start("/usr/bin/python3",
                     {"-c",
                      "import dbus\n"
                      "b = dbus.SessionBus()\n"
                      "c = b.get_object('org.freedesktop.secrets',"
                      " '/org/freedesktop/secrets/collection/login')\n"
                      "for i in c.Get('org.freedesktop.Secret.Collection', 'Items',"
                      " dbus_interface='org.freedesktop.DBus.Properties'):\n"
                      "    print(b.get_object('org.freedesktop.secrets', i).Get("
                      "'org.freedesktop.Secret.Item', 'Label',"
                      " dbus_interface='org.freedesktop.DBus.Properties'))\n"});
        python.waitForFinished(10000);
        QStringList labels =
            QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        labels.sort();
        return labels.join(", ");
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QProcessEnvironment m_env;
    QString m_settingsFile;
};

TEST_F(KeyringTest, PasswordsMoveIntoTheKeyringAndComeBackAfterARestart) {
    // A file from before, with the passwords in it.
    Store({{"PasswordQueryString", "query secret"}, {"FTPPassword", "ftp secret"}});
    StartKeyring();
    Outcome keep = Probe({"keep", "3000"});
    EXPECT_EQ(keep.status, 0);
    EXPECT_EQ(keep.out, "");
    EXPECT_EQ(Stored("PasswordQueryString").toString(), "");
    EXPECT_EQ(Stored("FTPPassword").toString(), "");
    EXPECT_EQ(Stored("PasswordsInKeyring").toInt(), 3);
    EXPECT_FALSE(FileBytes().contains("secret"));
    EXPECT_EQ(Labels(), "Quorvane FTP password, Quorvane HTTP query password");

    StopKeyring();
    StartKeyring();
    Outcome read = Probe({"read", "20000"});
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.out, "query=query secret\nftp=ftp secret\n");
    // An HTTP send asks only for the query password: the FTP one never enters its memory.
    read = Probe({"read-query", "20000"});
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.out, "query=query secret\nftp=\n");
    // quorvane-cli reads the password its step needs before the step runs, which then gets as
    // far as the (closed) FTP port.
    QProcess host;  // takes each connection and closes it at once
    host.start("/usr/bin/python3", {"-c",
                                    "import socket\n"
                                    "s = socket.create_server(('127.0.0.1', 0))\n"
                                    "print(s.getsockname()[1], flush=True)\n"
                                    "while True: s.accept()[0].close()\n"});
    ASSERT_TRUE(host.waitForReadyRead(10000));
    const QString port = QString::fromUtf8(host.readLine().trimmed());
    const QString page = m_dir.filePath("page.html");
    QFile pageFile(page);
    ASSERT_TRUE(pageFile.open(QIODevice::WriteOnly));
    pageFile.write("<p>REPLACEMENT_STRING</p>");
    pageFile.close();
    Store({{"EnableFlags", "0 1 0 0 1 1 1 1 0 0 0 1 1"},
           {"FTPTargetURL", "ftp://127.0.0.1:" + port + "/"},
           {"FTPUserID", "joe"},
           {"FTPForwardWebPage", page},
           {"AskRouter", 0}});
    const Outcome sent = Probe({"offline", "-v"}, QStringLiteral(QV_CLI_PATH));
    EXPECT_TRUE(sent.err.contains("Opening Internet...")) << sent.err.toStdString();
    EXPECT_FALSE(sent.err.contains("keyring")) << sent.err.toStdString();
    // Without the keyring it sends nothing and says why.
    StopKeyring();
    const Outcome refused = Probe({"offline"}, QStringLiteral(QV_CLI_PATH));
    EXPECT_EQ(refused.status, 1);
    const Outcome quiet = Probe({"offline", "-q"}, QStringLiteral(QV_CLI_PATH));
    // -q: why, and that it failed.
    EXPECT_EQ(quiet.err.count(QLatin1Char('\n')), 2) << quiet.err.toStdString();
    EXPECT_TRUE(quiet.err.contains("keyring, which did not give it")) << quiet.err.toStdString();
    EXPECT_TRUE(
        refused.err.contains("The password is kept in the desktop keyring, which did not "
                             "give it (no desktop keyring answers on the session bus): "
                             "nothing was sent."))
        << refused.err.toStdString();
    host.kill();
    host.waitForFinished(5000);

    // Locked, the keyring neither gives nor takes a password: the file keeps a new one.
    StopKeyring();
    StartKeyring(false);
    read = Probe({"read", "3000"});
    EXPECT_EQ(read.status, 1);
    EXPECT_TRUE(read.out.startsWith("error: ")) << read.out.toStdString();
    Store({{"FTPPassword", "new secret"}});
    keep = Probe({"keep", "3000"});
    EXPECT_TRUE(keep.out.startsWith("message: The desktop keyring did not take the passwords ("))
        << keep.out.toStdString();
    EXPECT_EQ(Stored("FTPPassword").toString(), "new secret");
    EXPECT_EQ(Stored("PasswordsInKeyring").toInt(), 1);

    // Silent, it is waited for no longer than the bound.
    StopKeyring();
    StartSilentKeyring();
    read = Probe({"read", "1000"});
    EXPECT_EQ(read.out, "error: the keyring did not answer within 1 s\n");
    // A read given up (the program is ending) ends at once, however long the bound.
    QElapsedTimer clock;
    clock.start();
    read = Probe({"read", "20000", "300"});
    EXPECT_EQ(read.out, "error: the program could not wait for the keyring\n");
    EXPECT_LT(clock.elapsed(), 10000);

    // Gone from the bus, it is said so.
    StopKeyring();
    read = Probe({"read", "3000"});
    EXPECT_EQ(read.status, 1);
    EXPECT_EQ(read.out, "error: no desktop keyring answers on the session bus\n");
}

TEST_F(KeyringTest, WithoutAKeyringThePasswordsStayInThePrivateFileAndItSaysWhere) {
    Store({{"PasswordQueryString", "query secret"}, {"FTPPassword", "ftp secret"}});
    const Outcome keep = Probe({"keep", "3000"});
    EXPECT_EQ(keep.status, 0);
    EXPECT_EQ(keep.out,
              "message: No desktop keyring answers on the session bus: the passwords "
              "are kept in the settings file " +
                  m_settingsFile + ", readable by you only.\n");
    EXPECT_EQ(Stored("PasswordQueryString").toString(), "query secret");
    EXPECT_EQ(Stored("FTPPassword").toString(), "ftp secret");
    EXPECT_EQ(Stored("PasswordsInKeyring").toInt(), 0);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(m_settingsFile).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
