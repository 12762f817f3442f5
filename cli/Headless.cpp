#include "cli/Headless.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSettings>

#include <arpa/inet.h>

#include <cstdlib>
#include <memory>

#include "cli/Commands.h"
#include "network/AddressList.h"
#include "platform/NetTables.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "resources/Ids.h"
#include "settings/SettingsRecord.h"
#include "watch/AddressWatcher.h"
#include "watch/DocAdapter.h"
#include "watch/UserQuestions.h"

namespace qv {
namespace {

// The watcher with the program's settings file, event log and network tables, and nobody to ask:
// its output lines go to a stream with a time stamp, and into the event log where the program
// would log them.
class HeadlessWatcher {
  public:
    explicit HeadlessWatcher(std::FILE* out)
        : m_out(out),
          m_answers([this](const QString& text) { Say(text); }),
          m_watcher(m_answers),
          m_profile(OpenSettings()),
          m_adapter(m_doc) {
        m_doc.SetProfile(m_profile.get());
        m_doc.SetHost(&m_watcher);
        m_watcher.SetDocument(&m_adapter);
        QObject::connect(&m_watcher, &AddressWatcher::Output,
                         [this](const QString& text, bool) { Print(text); });
        // For tests that cannot wait minutes, as in the program.
        if (const char* minute = std::getenv("QV_POLL_MINUTE_MS")) {
            m_watcher.SetMinuteMs(std::atoi(minute));
        }
    }

    AddressWatcher& Watcher() { return m_watcher; }
    AddressList& Doc() { return m_doc; }

    // Each line of `text` on its own output line, after the local time.
    void Print(const QString& text) {
        QString lines = text;
        lines.replace(QLatin1String("\r\r\n"), QLatin1String("\n"));
        lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        const QByteArray stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
        for (const QString& line : lines.split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty()) {
                std::fprintf(m_out, "%s %s\n", stamp.constData(), line.toLocal8Bit().constData());
            }
        }
        std::fflush(m_out);
    }

    // What nobody was asked: shown and logged.
    void Say(const QString& text) {
        Print(text);
        m_watcher.WriteLogEntry(text);
    }

  private:
    std::FILE* m_out;
    UnattendedAnswers m_answers;
    AddressWatcher m_watcher;
    std::unique_ptr<QSettings> m_profile;
    AddressList m_doc;
    DocAdapter m_adapter;
};

// Says on `err` why the stored settings cannot forward, or returns true.
bool ForwardingConfigured(const SettingsRecord& s, std::FILE* err) {
    const bool http = s.UseHTTP;
    if ((http ? s.HTTPTargetURL : s.FTPTargetURL).trimmed().isEmpty()) {
        std::fprintf(err,
                     "quorvane-cli: forwarding is not set up: no %s target URL is stored; set it "
                     "in the program's %s Target tab\n",
                     http ? "HTTP" : "FTP", http ? "HTTP" : "FTP");
        return false;
    }
    if (!http && s.FTPForwardWebPage.trimmed().isEmpty()) {
        std::fprintf(err,
                     "quorvane-cli: forwarding is not set up: no page file to upload is stored; "
                     "set it in the program's FTP Target tab\n");
        return false;
    }
    return true;
}

// The row of `doc` whose address is `address` (or, with an empty address, the first row of the
// interface `name`, or of the public address source "UPnP" or "Web") among the rows that can be
// ticked; -1 when there is none.
int FindRow(const AddressList& doc, const QString& address, const QString& name) {
    for (unsigned int r = 0; r < doc.m_rowCount; ++r) {
        const int row = static_cast<int>(r);
        if (doc.IsTickable(row) &&
            (!address.isEmpty() ? doc.Field(row, ColNicIpAddress) == address
                                : doc.Field(row, ColNicDescription) == name ||
                                      (PublicAddressRows::IsPublicInterface(name) &&
                                       doc.Field(row, ColInterfaceNumber) == name))) {
            return row;
        }
    }
    return -1;
}

// Reads `--address A` or `--interface NAME`; false (said on `err`) for anything else.
bool ParseChoice(const QStringList& args, QString& address, QString& name, std::FILE* err) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if ((a == QLatin1String("--address") || a == QLatin1String("--interface")) &&
            i + 1 < args.size() && address.isEmpty() && name.isEmpty()) {
            (a == QLatin1String("--address") ? address : name) = args[++i];
            // The list shows IPv6 addresses in their shortest form: "2001:DB8:0::5" finds it too.
            Ipv6Bytes bytes;
            if (a == QLatin1String("--address") &&
                inet_pton(AF_INET6, address.toLatin1().constData(), bytes.data()) == 1) {
                address = Ipv6Text(bytes);
            }
        } else {
            std::fprintf(err, "quorvane-cli: unexpected argument '%s'\n", qPrintable(a));
            return false;
        }
    }
    return true;
}

bool HasStoredSelection() {
    const auto profile = OpenSettings();
    return !profile->value(QStringLiteral("Data/InterfaceNum")).toString().isEmpty() ||
           !profile->value(QStringLiteral("Data/NICDescription")).toString().isEmpty();
}

// One forwarding step now (send or off-line), reported in the exit status.
int RunOnce(const QStringList& args, std::FILE* out, std::FILE* err, bool offline) {
    if (!args.isEmpty()) {
        std::fprintf(err, "quorvane-cli: unexpected argument '%s'\n", qPrintable(args.first()));
        return kCliUsage;
    }
    HeadlessWatcher face(out);
    SettingsRecord& s = face.Watcher().Settings();
    LoadSettings(s);
    if (!ForwardingConfigured(s, err)) {
        return kCliUsage;
    }
    if (!offline && !HasStoredSelection()) {
        std::fprintf(err,
                     "quorvane-cli: no address is ticked: tick one in the program, or "
                     "start 'quorvane-cli watch --address A' once\n");
        return kCliUsage;
    }
    Forwarder& forwarder = face.Watcher().OwnForwarder();
    // The exchange runs on the event loop, which ends with it.
    QObject::connect(&face.Watcher(), &AddressWatcher::ExchangesFinished,
                     QCoreApplication::instance(), [&forwarder] {
                         if (!forwarder.IsBusy()) {
                             QCoreApplication::quit();
                         }
                     });
    if (offline) {
        s.UseHTTP ? forwarder.NotifyHTTPOffLine() : forwarder.NotifyFTPOffLine();
    } else {
        // The refresh runs to its end first (its look-ups and the public address sources), so
        // that the address sent is the one found now; the selection it finds forwards nothing
        // by itself.
        s.AutoForward = false;
        face.Doc().OnNewDocument();
        RefreshAndWait(face.Doc());
        forwarder.ForwardNow();
    }
    if (forwarder.IsBusy()) {
        QCoreApplication::exec();
    }
    return forwarder.LastSucceeded() ? kCliOk : kCliFailed;
}

}  // namespace

int WatchCommand(const QStringList& args, std::FILE* out, std::FILE* err) {
    QString address, name;
    if (!ParseChoice(args, address, name, err)) {
        return kCliUsage;
    }
    SettingsRecord stored;
    LoadSettings(stored);
    if (!ForwardingConfigured(stored, err)) {
        return kCliUsage;
    }
    if (!stored.AutoForward || !stored.CheckForChange) {
        std::fprintf(err,
                     "quorvane-cli: %s is off in the settings; turn it on in the program's "
                     "General tab\n",
                     !stored.CheckForChange ? "checking for address changes"
                                            : "forwarding changes automatically");
        return kCliUsage;
    }
    if (address.isEmpty() && name.isEmpty() && !HasStoredSelection()) {
        std::fprintf(err,
                     "quorvane-cli: no address is ticked: tick one in the program, or choose "
                     "one with --address A or --interface NAME\n");
        return kCliUsage;
    }

    // One copy per configuration: the program and the watcher hold the same lock.
    SingleInstance instance(InstanceFolder(), nullptr, SingleInstance::Watcher);
    switch (instance.Claim()) {
        case SingleInstance::Second:
            std::fprintf(err,
                         "quorvane-cli: another copy of Quorvane already runs for these "
                         "settings\n");
            return kCliAlreadyRuns;
        case SingleInstance::Failed:
            std::fprintf(err, "quorvane-cli: %s\n", qPrintable(instance.ErrorText()));
            return kCliFailed;
        case SingleInstance::First:
            break;
    }

    HeadlessWatcher face(out);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, [&face] {
        face.Watcher().ShutDown();
        QCoreApplication::exit(kCliOk);
    });
    QObject::connect(&instance, &SingleInstance::ActivationRequested, [&face] {
        face.Say(
            QStringLiteral("The program was started while this watcher runs; it was told "
                           "so and ended."));
    });

    face.Doc().OnNewDocument();
    if (!address.isEmpty() || !name.isEmpty()) {
        RefreshAndWait(face.Doc());
        const int row = FindRow(face.Doc(), address, name);
        if (row < 0) {
            std::fprintf(err, "quorvane-cli: %s '%s' is not on this machine or cannot be watched\n",
                         address.isEmpty() ? "the interface" : "the address",
                         qPrintable(address.isEmpty() ? name : address));
            return kCliUsage;
        }
        face.Doc().SelectRow(row);
        face.Doc().StoreSelection();
    }
    face.Watcher().Start();
    return QCoreApplication::exec();
}

int SendCommand(const QStringList& args, std::FILE* out, std::FILE* err) {
    return RunOnce(args, out, err, false);
}

int OfflineCommand(const QStringList& args, std::FILE* out, std::FILE* err) {
    return RunOnce(args, out, err, true);
}

}  // namespace qv
