#include "cli/Headless.h"

#include <QCoreApplication>
#include <QSettings>

#include <arpa/inet.h>

#include <memory>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleOutput.h"
#include "cli/LastForwarded.h"
#include "cli/ServiceNotify.h"
#include "forwarding/DynDns.h"
#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"
#include "network/AddressList.h"
#include "platform/NetTables.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"
#include "watch/AddressWatcher.h"
#include "watch/UnattendedAnswers.h"
#include "watch/WatchCore.h"
#include "watch/WatcherService.h"

namespace qv {
namespace {

// The addresses a target takes: the ticked one, and the second after it.
QString ForwardedAddresses(const AddressWatcher& watcher) {
    const QString second = watcher.SecondSelectedIp();
    return second.isEmpty() ? watcher.SelectedIp()
                            : watcher.SelectedIp() + QStringLiteral(", ") + second;
}

// The watcher with the program's settings file, event log and network tables, and nobody to ask:
// its output lines go to the console's messages, and into the event log where the program would
// log them. Outcomes are told, the steps of routine work (a check that found nothing changed, the
// connection check) only with -v, and failures as errors.
class HeadlessWatcher {
  public:
    explicit HeadlessWatcher(ConsoleOutput& say)
        : m_say(say), m_answers([this](const QString& text) { Say(text); }), m_core(m_answers) {
        QObject::connect(&Watcher(), &AddressWatcher::Output,
                         [this](const QString& text, bool, bool logged) {
                             m_say.Say(IsFailure(text) ? Priority::Error
                                       : logged        ? Priority::Info
                                                       : Priority::Debug,
                                       text);
                         });
    }

    WatchCore& Core() { return m_core; }
    AddressWatcher& Watcher() { return m_core.Watcher(); }
    AddressList& Doc() { return m_core.List(); }

    // What nobody was asked: shown and logged.
    void Say(const QString& text) {
        m_say.Say(IsFailure(text) ? Priority::Error : Priority::Notice, text);
        Watcher().WriteLogEntry(text);
    }

  private:
    // The lines that say why an exchange failed. (The notice that it failed only points at them.)
    static bool IsFailure(const QString& text) {
        return text.startsWith(LoadString(Text::ErrorPrefix)) ||
               text.startsWith(LoadString(Text::NoConnection)) ||
               text.startsWith(QLatin1String("The password is kept in the desktop keyring"));
    }

    ConsoleOutput& m_say;
    UnattendedAnswers m_answers;
    WatchCore m_core;
};

// A refusal of quorvane-cli, as an error message.
void Refuse(ConsoleOutput& say, const QString& why) {
    say.Say(Priority::Error, QStringLiteral("quorvane-cli: ") + why);
}

// The stored URL the method sends to.
QString TargetUrlOf(const SettingsRecord& s) {
    switch (s.Method) {
        case ForwardMethod::Http:
            return s.HTTPTargetURL;
        case ForwardMethod::Ftp:
            return s.FTPTargetURL;
        case ForwardMethod::DynDns:
            return s.DynDnsURL;
        case ForwardMethod::DnsUpdate:
            break;  // a name server, not a URL
    }
    return {};
}

// The target URL is one the method can use.
bool UsableTarget(const SettingsRecord& s) {
    UrlParts parts;
    if (!SplitUrl(TargetUrlOf(s), parts)) {
        return false;
    }
    switch (s.Method) {
        case ForwardMethod::Http:
            return IsHttpService(parts.service);
        case ForwardMethod::Ftp:
            return parts.service == kServiceFtp;
        case ForwardMethod::DynDns:
            return DynDnsTargetAllowed(parts);
        case ForwardMethod::DnsUpdate:
            break;
    }
    return false;
}

// Says why the stored settings cannot forward, or returns true.
bool ForwardingConfigured(const SettingsRecord& s, ConsoleOutput& say) {
    if (s.Method == ForwardMethod::DnsUpdate) {
        if (s.DNSServer.trimmed().isEmpty() || s.DNSRecordName.trimmed().isEmpty()) {
            Refuse(say, QStringLiteral("forwarding is not set up: no DNS server or record name is "
                                       "stored; set them in the program's DNS Target tab"));
            return false;
        }
        return true;
    }
    const bool ftp = s.Method == ForwardMethod::Ftp;
    const bool dynDns = s.Method == ForwardMethod::DynDns;
    if (TargetUrlOf(s).trimmed().isEmpty()) {
        Refuse(say, QStringLiteral("forwarding is not set up: no %1 target URL is stored; set it "
                                   "in the program's %2 tab")
                        .arg(MethodName(s.Method),
                             dynDns ? QStringLiteral("Dynamic DNS")
                                    : MethodName(s.Method) + QStringLiteral(" Target")));
        return false;
    }
    if (dynDns && DynDnsHostNames(s.DynDnsHosts).isEmpty()) {
        Refuse(say, QStringLiteral("forwarding is not set up: no host name to update is stored; "
                                   "set it in the program's Dynamic DNS tab"));
        return false;
    }
    if (ftp && s.FTPForwardWebPage.trimmed().isEmpty()) {
        Refuse(say, QStringLiteral("forwarding is not set up: no page file to upload is stored; "
                                   "set it in the program's FTP Target tab"));
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

bool HasStoredSelection() {
    const auto profile = OpenSettings();
    return !profile->value(QStringLiteral("Data/InterfaceNum")).toString().isEmpty() ||
           !profile->value(QStringLiteral("Data/NICDescription")).toString().isEmpty();
}

// Waits on the event loop until the forwarder's exchanges have ended; whether the last one worked.
bool WaitForExchanges(AddressWatcher& watcher) {
    Forwarder& forwarder = watcher.OwnForwarder();
    QObject::connect(&watcher, &AddressWatcher::ExchangesFinished, QCoreApplication::instance(),
                     [&forwarder] {
                         if (!forwarder.IsBusy()) {
                             QCoreApplication::quit();
                         }
                     });
    if (forwarder.IsBusy()) {
        QCoreApplication::exec();
    }
    return forwarder.LastSucceeded();
}

// One forwarding step now (send or off-line), reported in the exit status.
int RunOnce(ConsoleOutput& say, bool offline) {
    HeadlessWatcher face(say);
    SettingsRecord& s = face.Core().ReadSettings();
    if (!ForwardingConfigured(s, say)) {
        return kCliUsage;
    }
    if (!offline && !HasStoredSelection()) {
        Refuse(say, QStringLiteral("no address is ticked: tick one in the program, or start "
                                   "'quorvane-cli watch --address A' once"));
        return kCliUsage;
    }
    Forwarder& forwarder = face.Watcher().OwnForwarder();
    if (offline) {
        forwarder.NotifyOffLine(s.Method);
    } else {
        // The refresh runs to its end first (the public address sources too), so that the
        // address sent is the one found now; the selection it finds forwards nothing by itself.
        // Only the address is sent: no name server is asked for host names.
        s.AutoForward = false;
        face.Doc().SetHostNameLookups(false);
        RefreshAndWait(face.Doc());
        forwarder.ForwardNow();
    }
    const bool taken = WaitForExchanges(face.Watcher());
    // The host knows the address now, or knows that it is gone.
    if (taken) {
        LastForwarded().Remember(face.Watcher().TargetKey(),
                                 offline ? QString() : ForwardedAddresses(face.Watcher()));
    }
    if (!taken) {
        // Said as an error whatever the lines before it were, so that -q and the journal show it.
        Refuse(say, offline ? QStringLiteral("the off-line notice did not reach the host")
                            : QStringLiteral("the address was not forwarded"));
    }
    return taken ? kCliOk : kCliFailed;
}

// `watch --once`: one check of the ticked address (chosen by `address` or `name` first, when
// given), and a forward when the target last took another one.
int CheckOnce(HeadlessWatcher& face, ConsoleOutput& say) {
    AddressWatcher& watcher = face.Watcher();
    const QString address = watcher.SelectedIp();
    if (!IsValidAddressText(address)) {
        Refuse(say, QStringLiteral("the ticked address is not on this machine now"));
        return kCliFailed;
    }
    const LastForwarded last;
    const QString target = watcher.TargetKey();
    const QString addresses = ForwardedAddresses(watcher);
    if (last.AddressOf(target) == addresses) {
        say.Say(Priority::Debug,
                QStringLiteral("%1 is unchanged since the target took it").arg(address));
        return kCliOk;
    }
    watcher.OwnForwarder().ForwardNow();
    if (!WaitForExchanges(watcher)) {
        Refuse(say, QStringLiteral("%1 was not forwarded").arg(address));
        return kCliFailed;
    }
    if (!last.Remember(target, addresses)) {
        say.Say(Priority::Warning,
                QStringLiteral("The forwarded address could not be noted in %1: the next check "
                               "forwards it again.")
                    .arg(LastForwarded::DefaultPath()));
    }
    return kCliOk;
}

}  // namespace

int WatchCommand(const Arguments& args, ConsoleOutput& say) {
    const bool once = args.Has("--once");
    QString address = args.Value("--address");
    const QString name = args.Value("--interface");
    if (!address.isEmpty() && !name.isEmpty()) {
        Refuse(say, QStringLiteral("--address and --interface exclude each other"));
        return kCliUsage;
    }
    // The list shows IPv6 addresses in their shortest form: "2001:DB8:0::5" finds it too.
    Ipv6Bytes bytes;
    if (inet_pton(AF_INET6, address.toLatin1().constData(), bytes.data()) == 1) {
        address = Ipv6Text(bytes);
    }
    // The lock is claimed once the settings are found usable, and let go after the watcher ends.
    SingleInstance instance(InstanceFolder(), nullptr, SingleInstance::Watcher);
    HeadlessWatcher face(say);
    SettingsRecord& stored = face.Core().ReadSettings();
    if (!ForwardingConfigured(stored, say)) {
        return kCliUsage;
    }
    // A one-shot check is asked for by hand or by a timer: it runs whatever the watching says.
    if (!once && (!stored.AutoForward || !stored.CheckForChange)) {
        Refuse(say, QStringLiteral("%1 is off in the settings; turn it on in the program's "
                                   "General tab")
                        .arg(!stored.CheckForChange
                                 ? QStringLiteral("checking for address changes")
                                 : QStringLiteral("forwarding changes automatically")));
        return kCliUsage;
    }
    if (address.isEmpty() && name.isEmpty() && !HasStoredSelection()) {
        Refuse(say, QStringLiteral("no address is ticked: tick one in the program, or choose one "
                                   "with --address A or --interface NAME"));
        return kCliUsage;
    }

    // One copy per configuration: the program and the watcher hold the same lock.
    switch (instance.Claim()) {
        case SingleInstance::Second:
            Refuse(say, QStringLiteral("another copy of Quorvane already runs for these settings"));
            return kCliAlreadyRuns;
        case SingleInstance::Failed:
            Refuse(say, instance.ErrorText());
            return kCliFailed;
        case SingleInstance::First:
            break;
    }

    if (once) {
        // The selection found forwards nothing by itself: the check decides.
        stored.AutoForward = false;
    }
    // What the running watcher forwards is noted for later one-shot checks. Its off-line notice
    // at the end tells the host otherwise, so the note goes again then: a later check forwards.
    QString notedTarget;
    QObject::connect(&face.Watcher(), &AddressWatcher::ForwardEnded,
                     [&face, &notedTarget](const QString& target, const QString&, bool taken) {
                         if (taken) {
                             notedTarget = target;
                             LastForwarded().Remember(target, ForwardedAddresses(face.Watcher()));
                         }
                     });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Received, [&face, &notedTarget, once] {
        if (once) {
            // Nothing is owed and nothing is saved: the check just ends, unfinished.
            QCoreApplication::exit(kCliFailed);
            return;
        }
        face.Watcher().ShutDown();
        if (!notedTarget.isEmpty()) {
            LastForwarded().Remember(notedTarget, QString());
        }
        QCoreApplication::exit(kCliOk);
    });
    QObject::connect(&instance, &SingleInstance::ActivationRequested, [&face] {
        face.Say(
            QStringLiteral("The program was started while this watcher runs; its window "
                           "shows this watcher's work."));
    });

    if (!address.isEmpty() || !name.isEmpty()) {
        RefreshAndWait(face.Doc());
        const int row = FindRow(face.Doc(), address, name);
        if (row < 0) {
            Refuse(say, QStringLiteral("%1 '%2' is not on this machine or cannot be watched")
                            .arg(address.isEmpty() ? QStringLiteral("the interface")
                                                   : QStringLiteral("the address"),
                                 address.isEmpty() ? name : address));
            return kCliUsage;
        }
        face.Doc().SelectRow(row);
        face.Doc().StoreSelection();
    }
    if (once) {
        if (address.isEmpty() && name.isEmpty()) {
            RefreshAndWait(face.Doc());
        }
        return CheckOnce(face, say);
    }
    // A service manager that waits for it (Type=notify) learns that the watcher is ready once
    // the first check has found the ticked address.
    QObject::connect(
        &face.Watcher(), &AddressWatcher::Idle, QCoreApplication::instance(),
        [] { NotifyServiceManager("READY=1"); }, Qt::SingleShotConnection);
    // Offered on the session bus for a window and `status`; without a bus it watches all the same.
    WatcherService service(face.Watcher());
    const QDBusConnection bus = QDBusConnection::sessionBus();
    service.Offer(
        [&say, connected = bus.isConnected()](const QString& text) {
            say.Say(connected ? Priority::Warning : Priority::Debug, text);
        },
        bus);
    face.Watcher().Start();
    return QCoreApplication::exec();
}

int CheckCommand(const Arguments& args, std::FILE* out, ConsoleOutput& say) {
    HeadlessWatcher face(say);
    AddressWatcher& watcher = face.Watcher();
    SettingsRecord& s = face.Core().ReadSettings();
    const bool autoForward = s.AutoForward;
    s.AutoForward = false;  // the refresh below forwards nothing
    bool ready = true;
    const auto report = [out](const QString& what, const QString& state) {
        std::fprintf(out, "%s: %s\n", qPrintable(what), qPrintable(state));
    };
    const QString method = MethodName(s.Method);
    report(QStringLiteral("method"), method);
    const bool dns = s.Method == ForwardMethod::DnsUpdate;
    const QString url = TargetUrlOf(s);
    bool wellFormed = false;
    if (dns) {
        wellFormed = !s.DNSServer.trimmed().isEmpty() && !s.DNSRecordName.trimmed().isEmpty();
        report(QStringLiteral("target"),
               wellFormed ? QStringLiteral("record %1 at %2 port %3, zone %4")
                                .arg(s.DNSRecordName.trimmed(), s.DNSServer.trimmed())
                                .arg(s.DNSPort)
                                .arg(s.DNSZone.trimmed().isEmpty()
                                         ? QStringLiteral("from the name's SOA record")
                                         : s.DNSZone.trimmed())
                          : QStringLiteral("no server or record name stored"));
        const bool key =
            !s.DNSKeyName.trimmed().isEmpty() &&
            (!s.DNSKeySecret.isEmpty() || (s.PasswordsInKeyring & kKeyringDNSKeySecret));
        report(QStringLiteral("key"),
               key ? QStringLiteral("%1 (%2)").arg(s.DNSKeyName.trimmed(), s.DNSKeyAlgorithm)
                   : QStringLiteral("no key name or secret stored"));
        ready = ready && wellFormed && key;
    } else {
        wellFormed = UsableTarget(s);
        report(QStringLiteral("target"),
               url.trimmed().isEmpty()
                   ? QStringLiteral("none stored")
                   : MaskUrlPassword(url.trimmed()) +
                         (wellFormed ? QStringLiteral(" (well formed)")
                                     : QStringLiteral(" (not a usable %1 URL)").arg(method)));
        ready = ready && wellFormed;
    }
    if (s.Method == ForwardMethod::DynDns) {
        const QStringList hosts = DynDnsHostNames(s.DynDnsHosts);
        report(QStringLiteral("hosts"),
               hosts.isEmpty() ? QStringLiteral("none stored") : hosts.join(QStringLiteral(", ")));
        ready = ready && !hosts.isEmpty();
    }
    if (s.Method == ForwardMethod::Ftp) {
        const bool page = !s.FTPForwardWebPage.trimmed().isEmpty();
        report(QStringLiteral("page"), page ? s.FTPForwardWebPage : QStringLiteral("none stored"));
        ready = ready && page;
    }
    report(QStringLiteral("watching"),
           QStringLiteral("checking for changes %1, forwarding them automatically %2")
               .arg(s.CheckForChange ? QStringLiteral("on") : QStringLiteral("off"),
                    autoForward ? QStringLiteral("on") : QStringLiteral("off")));

    RefreshAndWait(face.Doc());
    const QString address = watcher.SelectedIp();
    const bool ticked = HasStoredSelection();
    const bool present = IsValidAddressText(address);
    report(QStringLiteral("ticked"),
           !ticked ? QStringLiteral("none")
           : present
               ? QStringLiteral("%1 on %2 (present)").arg(address, face.Doc().m_nicDescription)
               : QStringLiteral("%1 '%2' (not present)")
                     .arg(face.Doc().m_interfaceNum, face.Doc().m_nicDescription));
    ready = ready && present;
    if (!face.Doc().m_secondInterfaceNum.isEmpty()) {
        const QString second = face.Doc().m_secondIp;
        report(QStringLiteral("ticked beside it"),
               !second.isEmpty()
                   ? QStringLiteral("%1 on %2 (present)")
                         .arg(second, face.Doc().m_secondNicDescription)
                   : QStringLiteral("%1 '%2' (not present)")
                         .arg(face.Doc().m_secondInterfaceNum, face.Doc().m_secondNicDescription));
    }

    // The keyring is asked only where it keeps a password this method needs.
    if (watcher.Passwords()->NeedsRead()) {
        bool answered = false;
        watcher.Passwords()->Read([&answered](bool ok) {
            answered = ok;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        report(QStringLiteral("keyring"),
               answered ? QStringLiteral("reachable, gave the passwords")
                        : QStringLiteral("not reachable: ") + watcher.Passwords()->ErrorText());
        ready = ready && answered;
    } else {
        report(QStringLiteral("keyring"), QStringLiteral("not needed (no password kept there)"));
    }

    if (args.Has("--probe") && dns) {
        report(QStringLiteral("connection"),
               QStringLiteral("not probed: a DNS update says itself whether the server answers"));
    } else if (args.Has("--probe") && wellFormed) {
        watcher.OwnForwarder().OnTestInternet();
        const bool reached = WaitForExchanges(watcher);
        report(QStringLiteral("connection"), reached ? QStringLiteral("the target's host answers")
                                                     : QStringLiteral("the target's host was not "
                                                                      "reached"));
        ready = ready && reached;
    }
    std::fflush(out);
    if (!ready) {
        say.Say(Priority::Error, QStringLiteral("quorvane-cli: these settings cannot forward now"));
    }
    return ready ? kCliOk : kCliFailed;
}

int SendCommand(ConsoleOutput& say) {
    return RunOnce(say, false);
}

int OfflineCommand(ConsoleOutput& say) {
    return RunOnce(say, true);
}

}  // namespace qv
