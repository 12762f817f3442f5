#include "forwarding/Forwarder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <cerrno>

#include "forwarding/ForwardText.h"
#include "forwarding/ForwardingSession.h"
#include "platform/FileError.h"
#include "platform/QuorvaneException.h"
#include "platform/ShownText.h"
#include "resources/StringTable.h"
#include "settings/PasswordStore.h"

namespace qv {
namespace {

constexpr unsigned kNoticeLife = 7000;

// A failed transfer, carried out of the exchange to its error line.
struct InternetFailure {
    TransferStatus status;
};

// The local page file: its name, and its bytes when read.
struct PageFile {
    int cause = kFileNone;
    QString name;
    QByteArray bytes;
};

// Opens the page for reading (and reads it when `read`). Only regular files count: a folder, a
// pipe or a device ends as "could not be accessed".
bool OpenPage(const QString& path, bool read, PageFile& page) {
    int err = 0;
    const int fd = OpenRegularFile(path, O_RDONLY, 0, err);
    if (fd < 0) {
        page.cause = FileCauseFromErrno(err);
        return false;
    }
    page.name = QFileInfo(path).fileName();
    bool ok = true;
    if (read) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n == 0) {
                break;
            }
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                page.cause = FileCauseFromErrno(errno);
                ok = false;
                break;
            }
            page.bytes.append(buffer, n);
        }
    }
    ::close(fd);
    return ok;
}

// The URL that libcurl gets: scheme, host and port of the target, then the object with blanks,
// control characters, letters outside ASCII and "#" percent-encoded.
QByteArray RequestUrl(const UrlParts& target, const QString& object) {
    const QByteArray scheme = target.service == kServiceHttps ? "https" : "http";
    return scheme + "://" + target.server.toUtf8() + ':' + QByteArray::number(target.port) +
           EncodeForUrl(object, "#");
}

// The reply as text for the Output Data window.
QString ReplyText(const QByteArray& body) {
    QString text = QString::fromUtf8(body);
    text.remove(QChar(0));
    return text;
}

// The page is first written under this name in the same folder, then renamed over the page, so
// that visitors never see half a page.
QString TemporaryName(const QString& remoteName) {
    const qsizetype slash = remoteName.lastIndexOf(QLatin1Char('/'));
    return remoteName.left(slash + 1) + QLatin1Char('.') + remoteName.mid(slash + 1) +
           QStringLiteral(".upload");
}

const char* const kRenameRefused =
    "The host refused to rename the uploaded page into place; the page is written directly "
    "under its own name.";

const char* const kAlreadyRemoved = "(null) - file already removed?";

// The request path of `target` with the address query.
QString RequestObject(const UrlParts& target, const SettingsRecord& s, const QString& address,
                      QuerySecrets secrets, const QString& second = QString()) {
    return AppendQuery(target.object, BuildAddressQuery(s, address, secrets, second));
}

}  // namespace

Forwarder::Forwarder(ForwardSources sources, ForwarderOptions options)
    : m_settings(sources.settings),
      m_questions(sources.questions),
      m_selectedIp(std::move(sources.selectedIp)),
      m_secondSelectedIp(std::move(sources.secondSelectedIp)),
      m_passwords(sources.passwords),
      m_options(std::move(options)) {}

Forwarder::~Forwarder() {
    *m_alive = false;
    // Destroyed in the middle of exchanges: their transfers end with them, the rest is dropped.
    // An exchange that runs now (this is called from inside it) ends by itself.
    const bool inside = m_busy && !m_runningTransfer && !m_readingPasswords;
    for (std::coroutine_handle<> job : std::exchange(m_jobs, {})) {
        if (!(inside && job == m_running)) {
            job.destroy();
        }
    }
}

// ---- Serialisation ----

// One transfer of an exchange: started on await, and the exchange goes on when it has ended.
template <class Result>
class Forwarder::TransferAwait {
  public:
    using Start = std::function<void(std::function<void(const Result&)>)>;
    TransferAwait(Forwarder& owner, CurlTransfer& transfer, Start start)
        : m_owner(owner), m_transfer(transfer), m_start(std::move(start)) {}

    bool await_ready() const { return false; }
    bool await_suspend(std::coroutine_handle<> exchange) {
        m_owner.m_runningTransfer = &m_transfer;
        m_start([this, exchange](const Result& result) {
            m_owner.m_runningTransfer = nullptr;
            m_result.emplace(result);
            if (m_suspended) {
                exchange.resume();
            }
        });
        m_suspended = !m_result;  // refused at once: no need to wait
        return m_suspended;
    }
    Result await_resume() { return std::move(*m_result); }

  private:
    Forwarder& m_owner;
    CurlTransfer& m_transfer;
    Start m_start;
    std::optional<Result> m_result;
    bool m_suspended = false;
};

// A DNS update's result, delivered by the event loop. Dropping the exchange destroys the update,
// which then never calls back.
class Forwarder::DnsAwait {
  public:
    DnsAwait(DnsUpdate& update, DnsServer server, TsigKey key, RecordChange change)
        : m_update(update),
          m_server(std::move(server)),
          m_key(std::move(key)),
          m_change(std::move(change)) {}

    bool await_ready() const { return false; }
    bool await_suspend(std::coroutine_handle<> exchange) {
        m_update.Send(m_server, m_key, m_change, [this, exchange](const DnsUpdateResult& result) {
            m_result.emplace(result);
            if (m_suspended) {
                exchange.resume();
            }
        });
        m_suspended = !m_result;  // refused at once: no need to wait
        return m_suspended;
    }
    DnsUpdateResult await_resume() { return std::move(*m_result); }

  private:
    DnsUpdate& m_update;
    DnsServer m_server;
    TsigKey m_key;
    RecordChange m_change;
    std::optional<DnsUpdateResult> m_result;
    bool m_suspended = false;
};

// The keyring's answer, delivered by the event loop.
class Forwarder::PasswordAwait {
  public:
    PasswordAwait(Forwarder& owner, PasswordStore& store, int needed)
        : m_owner(owner), m_store(store), m_needed(needed) {}
    ~PasswordAwait() {
        if (!*m_dropped && m_waiting) {
            m_owner.m_readingPasswords = false;  // the exchange is dropped while it waits
        }
        *m_dropped = true;
    }

    bool await_ready() { return false; }
    void await_suspend(std::coroutine_handle<> exchange) {
        m_owner.m_readingPasswords = m_waiting = true;
        m_store.Read(
            [this, exchange, dropped = m_dropped](bool ok) {
                if (*dropped) {
                    return;
                }
                m_ok = ok;
                m_owner.m_readingPasswords = m_waiting = false;
                exchange.resume();
            },
            m_needed);
    }
    bool await_resume() const { return m_ok; }

  private:
    Forwarder& m_owner;
    PasswordStore& m_store;
    int m_needed;  // only the secrets of the method that sends
    bool m_ok = false;
    bool m_waiting = false;
    std::shared_ptr<bool> m_dropped = std::make_shared<bool>(false);
};

// A person's answer. While the question waits the exchange steps aside, so that other exchanges
// run; once answered it goes on in turn, after the one running then.
template <class Answer>
class Forwarder::AnswerAwait {
  public:
    using Ask = std::function<void(std::function<void(const Answer&)>)>;
    AnswerAwait(Forwarder& owner, Ask ask) : m_owner(owner), m_ask(std::move(ask)) {}
    ~AnswerAwait() { m_state->dropped = true; }  // an answer that comes later finds nobody

    bool await_ready() const { return false; }
    bool await_suspend(std::coroutine_handle<> exchange) {
        auto state = m_state;
        const Job parked{{}, m_owner.m_byHand, exchange, m_owner.m_running};
        Forwarder* owner = &m_owner;
        m_ask([state, parked, owner,
               alive = std::weak_ptr<bool>(m_owner.m_alive)](const Answer& answer) {
            if (alive.expired() || state->answer || state->dropped) {
                return;
            }
            state->answer.emplace(answer);
            if (state->waiting) {
                // In turn, before what was asked for meanwhile.
                owner->m_queue.push_front(parked);
                owner->RunNext();
            }
        });
        if (state->answer) {
            return false;  // answered at once
        }
        state->waiting = true;
        m_owner.m_busy = false;
        m_owner.RunNext();
        if (!m_owner.IsBusy()) {
            emit m_owner.ExchangesEnded();
        }
        return true;
    }
    Answer await_resume() const { return *m_state->answer; }

  private:
    struct State {
        std::optional<Answer> answer;
        bool waiting = false;
        bool dropped = false;
    };
    Forwarder& m_owner;
    Ask m_ask;
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

Task<HttpReply> Forwarder::Post(CurlTransfer& transfer, HttpPostRequest request) {
    TransferAwait<HttpReply> posting(*this, transfer,
                                     [&](auto done) { transfer.Post(request, std::move(done)); });
    co_return co_await posting;
}

Task<TransferStatus> Forwarder::FtpStore(CurlTransfer& transfer, FtpAccount account, QString path,
                                         QByteArray data, QStringList afterwards) {
    TransferAwait<TransferStatus> storing(*this, transfer, [&](auto done) {
        transfer.FtpStore(account, path, data, afterwards, std::move(done));
    });
    co_return co_await storing;
}

Task<TransferStatus> Forwarder::FtpCommands(CurlTransfer& transfer, FtpAccount account,
                                            QStringList commands) {
    TransferAwait<TransferStatus> sending(*this, transfer, [&](auto done) {
        transfer.FtpCommands(account, commands, std::move(done));
    });
    co_return co_await sending;
}

Task<DnsUpdateResult> Forwarder::SendUpdate(DnsUpdate& update, DnsServer server, TsigKey key,
                                            RecordChange change) {
    DnsAwait updating(update, std::move(server), std::move(key), std::move(change));
    co_return co_await updating;
}

Task<HttpReply> Forwarder::Get(CurlTransfer& transfer, HttpFetchRequest request) {
    TransferAwait<HttpReply> fetching(*this, transfer,
                                      [&](auto done) { transfer.Fetch(request, std::move(done)); });
    co_return co_await fetching;
}

Task<TransferStatus> Forwarder::Probe(CurlTransfer& transfer, QString host, quint16 port) {
    TransferAwait<TransferStatus> probing(
        *this, transfer, [&](auto done) { transfer.Probe(host, port, std::move(done)); });
    co_return co_await probing;
}

// A question of a command the user gave. Work that started by itself, and shutdown, take the
// negative answer without asking.
Task<int> Forwarder::AskInTurn(int stringId, IPrompter::Buttons buttons) {
    if (!MayAsk()) {
        co_return buttons == IPrompter::YesNo || buttons == IPrompter::YesNoCancel
            ? IPrompter::AnswerNo
            : IPrompter::AnswerCancel;
    }
    AnswerAwait<int> asking(*this, [this, stringId, buttons](auto answer) {
        m_questions.Ask(LoadString(stringId), LoadString(Text::AppTitle), buttons,
                        IPrompter::NoIcon, std::move(answer));
    });
    co_return co_await asking;
}

Task<std::optional<Credentials>> Forwarder::AskCredentialsInTurn(QString server, QString realm) {
    if (!MayAsk()) {
        co_return std::nullopt;
    }
    AnswerAwait<std::optional<Credentials>> asking(*this, [this, server, realm](auto answer) {
        m_questions.AskCredentials(server, realm, std::move(answer));
    });
    co_return co_await asking;
}

// Runs `task` to its end here: its transfers run without the event loop.
template <class T>
T Forwarder::RunNow(Task<T> task) {
    struct Outcome {
        std::optional<T> value;
        std::exception_ptr error;
        bool done = false;
    } outcome;
    auto drive = [](Task<T>& t, Outcome& out) -> Detached {
        try {
            T value = co_await t;
            out.value.emplace(std::move(value));
        } catch (...) {
            out.error = std::current_exception();
        }
        out.done = true;
    };
    const bool byHand = std::exchange(m_byHand, true);
    drive(task, outcome);
    RunTransfersUntil([&outcome] { return outcome.done; }, QDeadlineTimer::Forever);
    RunDnsUpdatesUntil([&outcome] { return outcome.done; }, QDeadlineTimer::Forever);
    m_byHand = byHand;
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    // Nothing when it waits for something no transfer brings (the keyring).
    return outcome.value ? std::move(*outcome.value) : T{};
}

void Forwarder::Submit(std::function<Task<>()> job, bool byHand) {
    m_queue.push_back(Job{std::move(job), byHand, {}, {}});
    RunNext();
}

// Starts the next exchange, or lets a answered one go on, unless one runs.
void Forwarder::RunNext() {
    if (m_busy || m_queue.empty()) {
        return;
    }
    Job next = std::move(m_queue.front());
    m_queue.pop_front();
    m_busy = true;
    m_byHand = next.byHand;
    if (next.parked) {
        m_running = next.frame;
        next.parked.resume();
    } else {
        RunJob(std::move(next));
    }
}

Detached Forwarder::RunJob(Job job) {
    CurrentCoroutine current;
    const std::coroutine_handle<> self = co_await current;
    m_jobs.push_back(self);
    m_running = self;
    const std::shared_ptr<bool> alive = m_alive;
    try {
        Task<> exchange = job.start();
        co_await exchange;
    } catch (const std::exception& e) {
        qWarning("Quorvane: an exchange ended by an error: %s", e.what());
    }
    if (!*alive) {
        co_return;  // the exchange ended with the destruction of this object
    }
    std::erase(m_jobs, self);
    m_busy = false;
    m_byHand = false;
    RunNext();
    if (*alive && !IsBusy()) {
        emit ExchangesEnded();
    }
}

// ---- Commands ----

void Forwarder::OnAddressChanged() {
    Submit([this] { return DoAddressChanged(); }, false);
}

Task<> Forwarder::DoAddressChanged() {
    if (m_settings.AutoForward) {
        Task<> forwarding = DoForwardNow();
        co_await forwarding;
    }
}

void Forwarder::ForwardNow() {
    Submit([this] { return DoForwardNow(); }, true);
}

Task<> Forwarder::DoForwardNow() {
    Task<> sending = DoSendAddress(m_settings.Method);
    co_await sending;
}

void Forwarder::SendBy(ForwardMethod method) {
    Submit([this, method] { return DoSendAddress(method); }, true);
}

void Forwarder::ForwardAddress(ForwardMethod method, bool byHand,
                               std::function<void(ForwardOutcome)> done) {
    Submit([this, method, done = std::move(done)] { return DoForwardAddress(method, done); },
           byHand);
}

Task<> Forwarder::DoForwardAddress(ForwardMethod method, std::function<void(ForwardOutcome)> done) {
    Task<> sending = DoSendAddress(method);
    co_await sending;
    if (done) {
        done(m_lastOutcome);
    }
}

void Forwarder::NotifyOffLine(ForwardMethod method) {
    Submit([this, method] { return DoNotifyOffLine(method); }, true);
}

void Forwarder::OfferOffLineNotice(ForwardMethod method) {
    Submit([this, method] { return DoOfferOffLineNotice(method); }, true);
}

void Forwarder::OnTestInternet() {
    Submit([this] { return DoTestInternet(); }, true);
}

Task<> Forwarder::DoTestInternet() {
    m_lastSucceeded = false;
    QString unreachable;
    Task<int> checking = CheckConnection(m_settings.Method, &unreachable);
    const int connected = co_await checking;
    m_lastSucceeded = connected != 0;
    if (connected) {
        Notice(LoadString(Text::ConnectionOk), IPrompter::Information);
    } else if (!unreachable.isEmpty()) {
        Notice(unreachable, IPrompter::Warning);
    }
}

void Forwarder::OffLineAtShutdown(std::function<void()> then) {
    if (!m_shuttingDown) {
        m_shuttingDown = true;
        m_shutdownEnd.setRemainingTime(m_options.shutdownBound);
        // Nobody answers any more, and nothing else starts: exchanges waiting for an answer, for
        // the keyring or for their turn are dropped, and the running transfer ends now (its
        // exchange goes on to its end at once).
        m_queue.clear();
        const bool inTransfer = m_busy && m_runningTransfer;
        for (auto job = m_jobs.begin(); job != m_jobs.end();) {
            if (!(inTransfer && *job == m_running)) {
                job->destroy();
                job = m_jobs.erase(job);
            } else {
                ++job;
            }
        }
        if (!inTransfer) {
            m_readingPasswords = false;
            m_busy = false;
        }
        if (m_runningTransfer) {
            m_runningTransfer->Cancel();
        }
    }
    Submit([this, then = std::move(then)] { return DoShutdownStep(then); }, false);
    // The event loop may not run again: the notice's transfers run here.
    const std::weak_ptr<bool> alive = m_alive;
    const QDeadlineTimer end(m_options.shutdownBound + std::chrono::seconds(1));
    RunTransfersUntil([this, alive] { return alive.expired() || !IsBusy(); }, end);
    RunDnsUpdatesUntil([this, alive] { return alive.expired() || !IsBusy(); }, end);
}

Task<> Forwarder::DoShutdownStep(std::function<void()> then) {
    if (!m_shutDown) {
        m_shutDown = true;
        Task<> notice = DoOffLineAtShutdown();
        co_await notice;
    }
    if (then) {
        then();
    }
}

void Forwarder::UpdateForwardPreview() {
    const SettingsRecord& s = m_settings;
    QString text;
    if (s.Method == ForwardMethod::DnsUpdate) {
        text = QStringLiteral("Update '%1' at '%2'").arg(s.DNSRecordName, s.DNSServer);
    } else if (s.Method == ForwardMethod::DynDns) {
        QString ipv4 = m_selectedIp();
        QString ipv6 = m_secondSelectedIp();
        if (ipv4.contains(QLatin1Char(':'))) {
            std::swap(ipv4, ipv6);
        }
        text = AppendQuery(MaskUrlPassword(s.DynDnsURL),
                           DynDnsQuery(DynDnsHostNames(s.DynDnsHosts), ipv4, ipv6));
    } else if (s.Method == ForwardMethod::Http) {
        // The password box is masked, so the preview under it masks the passwords too.
        text = AppendQuery(
            MaskUrlPassword(s.HTTPTargetURL),
            BuildAddressQuery(s, m_selectedIp(), QuerySecrets::kMask, m_secondSelectedIp()));
    } else {
        // The preview is rebuilt on every keystroke on a page: a page file problem is shown here
        // in the line, never in a notice that would take the keys typed after it.
        PageFile page;
        if (!OpenPage(s.FTPForwardWebPage, false, page)) {
            emit StatusLine(FileErrorText(Text::PageFileProblem, page.cause));
            return;
        }
        text = QStringLiteral("Send '") + page.name + QStringLiteral("' to '") +
               MaskUrlPassword(s.FTPTargetURL);
        if (s.FTPTargetURL.isEmpty() || !(s.FTPTargetURL.endsWith(QLatin1Char('/')) ||
                                          s.FTPTargetURL.endsWith(QLatin1Char('\\')))) {
            text += QLatin1Char('/');
        }
        text += QLatin1Char('\'');
    }
    emit StatusLine(text);
}

// ---- Orchestration ----

// Sends the selected address by `method`: the HTTP request, or the page uploaded by FTP.
Task<> Forwarder::DoSendAddress(ForwardMethod method) {
    m_lastSucceeded = false;
    m_lastOutcome = ForwardOutcome::kFailed;
    Task<int> checking = CheckConnection(method);
    const int connected = co_await checking;
    if (!connected) {
        co_return;
    }
    Task<> offering = OfferOthersOffLine(method);
    co_await offering;
    Task<ForwardOutcome> sending = SendTicked(method);
    m_lastOutcome = co_await sending;
    m_lastSucceeded = m_lastOutcome == ForwardOutcome::kTaken;
}

// What another method left at its host is offered to be taken down first.
Task<> Forwarder::OfferOthersOffLine(ForwardMethod method) {
    for (const ForwardMethodName& other : kForwardMethodNames) {
        if (other.method != method) {
            Task<> offer = DoOfferOffLineNotice(other.method);
            co_await offer;
        }
    }
}

// The ticked addresses by `method`, after its target has been read from the settings.
Task<ForwardOutcome> Forwarder::SendTicked(ForwardMethod method) {
    if (method == ForwardMethod::DynDns) {
        // The service is told of changes only: nothing is owed to it at the end.
        const QString address = m_selectedIp();
        if (!IsValidAddressText(address)) {
            Tell(Text::NoAddressSelected, IPrompter::OkCancel, IPrompter::Warning);
            co_return ForwardOutcome::kNothingToSend;
        }
        Task<ForwardOutcome> updating = UpdateDynDns(address, m_secondSelectedIp(), m_byHand);
        co_return co_await updating;
    }
    int& parsed = Owed(method);
    parsed = ParseTarget(method);
    if (!parsed) {
        co_return ForwardOutcome::kNothingToSend;
    }
    const QString address = m_selectedIp();
    if (!IsValidAddressText(address)) {
        Tell(Text::NoAddressSelected, IPrompter::OkCancel, IPrompter::Warning);
        co_return ForwardOutcome::kNothingToSend;
    }
    const QString second = m_secondSelectedIp();
    const SettingsRecord& s = m_settings;
    Task<bool> sending =
        method == ForwardMethod::Http ? SendAddress(address)
        : method == ForwardMethod::DnsUpdate
            ? UpdateRecords(address, second)
            : UploadPage(BuildFTPReplacement(s, address, true),
                         second.isEmpty() ? QString() : BuildFTPReplacement(s, second, true));
    const bool taken = co_await sending;
    co_return taken ? ForwardOutcome::kTaken : ForwardOutcome::kFailed;
}

Task<> Forwarder::DoNotifyOffLine(ForwardMethod method) {
    m_lastSucceeded = false;
    Task<int> checking = CheckConnection(method);
    const int connected = co_await checking;
    if (connected) {
        Task<bool> notice = SendOffLine(method);
        m_lastSucceeded = co_await notice;
    }
}

// The off-line notice of one method, to the target that method last sent to. Only a notice the
// host took clears the owed flag.
Task<bool> Forwarder::SendOffLine(ForwardMethod method) {
    if (!HaveTarget(method)) {
        co_return false;
    }
    const SettingsRecord& s = m_settings;
    Task<bool> notice =
        method == ForwardMethod::Http        ? SendAddress(QString())
        : method == ForwardMethod::DnsUpdate ? TakeDownRecords()
        : s.FTPOffLineDelete
            ? RemovePage()
            : UploadPage(BuildFTPReplacement(s, s.OffLineDomain, false),
                         m_secondSelectedIp().isEmpty() ? QString() : s.OffLineDomain);
    const bool done = co_await notice;
    if (done) {
        Owed(method) = 0;
    }
    co_return done;
}

// A notice owed from a run that has not parsed the target yet parses the stored one.
bool Forwarder::HaveTarget(ForwardMethod method) {
    if (method == ForwardMethod::DnsUpdate) {
        return ParseTarget(method) != 0;
    }
    const UrlParts& target = method == ForwardMethod::Http ? m_httpTarget : m_ftpTarget;
    return target.service != kServiceUnknown || ParseTarget(method) != 0;
}

int Forwarder::ParseTarget(ForwardMethod method) {
    const SettingsRecord& s = m_settings;
    switch (method) {
        case ForwardMethod::Http:
            return ParseTargetURL(s.HTTPTargetURL, kServiceHttp);
        case ForwardMethod::Ftp:
            return ParseTargetURL(s.FTPTargetURL, kServiceFtp);
        case ForwardMethod::DnsUpdate:
            if (s.DNSServer.trimmed().isEmpty() || s.DNSRecordName.trimmed().isEmpty()) {
                emit OutputLine(LoadString(Text::DnsTargetMissing), true, true);
                return 0;
            }
            return 1;
        case ForwardMethod::DynDns:
            break;  // no off-line notice goes there
    }
    return 0;
}

int& Forwarder::Owed(ForwardMethod method) {
    switch (method) {
        case ForwardMethod::Http:
            return m_httpForwarded;
        case ForwardMethod::Ftp:
            return m_ftpUploaded;
        case ForwardMethod::DynDns:
            break;
        case ForwardMethod::DnsUpdate:
            return m_dnsUpdated;
    }
    m_nothingOwed = 0;
    return m_nothingOwed;
}

Task<> Forwarder::DoOfferOffLineNotice(ForwardMethod method) {
    if (!Owed(method)) {
        co_return;
    }
    Task<int> asking = AskInTurn(method == ForwardMethod::Http  ? Text::TakeDownHttpQuestion
                                 : method == ForwardMethod::Ftp ? Text::TakeDownFtpQuestion
                                                                : Text::TakeDownDnsQuestion,
                                 IPrompter::YesNo);
    if (co_await asking == IPrompter::AnswerYes) {
        Task<> notice = DoNotifyOffLine(method);
        co_await notice;
    }
}

Task<> Forwarder::DoOffLineAtShutdown() {
    const ForwardMethod method = m_settings.Method;
    if (Owed(method)) {
        Task<bool> notice = SendOffLine(method);
        co_await notice;
    }
}

int Forwarder::ParseTargetURL(const QString& url, int expectedService) {
    UrlParts parts;
    const bool parsed = SplitUrl(url, parts);
    (expectedService == kServiceHttp ? m_httpTarget : m_ftpTarget) = parts;
    const bool expected = expectedService == kServiceHttp ? IsHttpService(parts.service)
                                                          : IsFtpService(parts.service);
    if (parsed && expected) {
        return 1;
    }
    // Nobody waits for the answers: the exchange ends here, and automatic forwarding is turned
    // off when the user says so.
    Tell(Text::WrongUrlKind, IPrompter::OkCancel, IPrompter::Warning,
         [this, alive = std::weak_ptr<bool>(m_alive)](int answer) {
             if (alive.expired() || answer != IPrompter::AnswerOk || m_questions.IsShown() ||
                 !m_settings.AutoForward) {
                 return;
             }
             Tell(Text::DisableForwardingQuestion, IPrompter::YesNo, IPrompter::Warning,
                  [this, alive](int again) {
                      if (!alive.expired() && again == IPrompter::AnswerYes) {
                          m_settings.AutoForward = false;
                          emit AutoForwardTurnedOff();
                      }
                  });
         });
    return 0;
}

// ---- Connection check ----

int Forwarder::CheckInternetConnection(ForwardMethod method) {
    return RunNow(CheckConnection(method));
}

Task<int> Forwarder::CheckConnection(ForwardMethod method, QString* unreachable) {
    if (method == ForwardMethod::DnsUpdate) {
        co_return 1;  // the update's own answer, or its absence, tells whether the server is there
    }
    emit OutputLine(LoadString(Text::CheckingConnection), false, false);
    // The method's own target as stored, else another one's.
    const SettingsRecord::TargetUrls& stored = m_settings.StoredTargets;
    QString url;
    switch (method) {
        case ForwardMethod::Http:
            url = stored.http;
            break;
        case ForwardMethod::Ftp:
            url = stored.ftp;
            break;
        case ForwardMethod::DynDns:
            url = stored.dynDns;
            break;
        case ForwardMethod::DnsUpdate:
            break;  // answered above
    }
    for (const QString* other : {&stored.http, &stored.ftp}) {
        if (url.isEmpty()) {
            url = *other;
        }
    }
    if (url.isEmpty()) {
        url = m_options.fallbackTestUrl;
    }
    UrlParts parts;
    if (!SplitUrl(url, parts)) {
        Tell(QStringLiteral("%1 '%2'").arg(LoadString(Text::StoredUrlUnusable),
                                           MaskUrlPassword(url)));
        co_return 0;
    }
    // The target's own host, on the port its requests will use (80 for a scheme of no port).
    const quint16 port = parts.port != 0 ? parts.port : 80;
    CurlTransfer probe(LoadString(Text::UserAgent).toUtf8(), Limits());
    Task<TransferStatus> probing = Probe(probe, parts.server, port);
    const TransferStatus status = co_await probing;
    if (!status.Ok()) {
        // There is no dial-up to fall back on: the output says which host failed and why, and
        // the log too, so that it tells why nothing was sent. No box: nobody has to answer it.
        const QString text = UnreachableText(parts.server, port, status);
        emit OutputLine(LoadString(Text::NoConnection), false, true);
        emit OutputLine(text + TimeStampNow(), true, true);
        if (unreachable) {
            *unreachable = text;
        }
        co_return 0;
    }
    emit OutputLine(LoadString(Text::ConnectionOk), false, false);
    co_return 1;
}

// ---- HTTP ----

QString Forwarder::BuildRequestObject(const QString& address, QuerySecrets secrets) const {
    return RequestObject(m_httpTarget, m_settings, address, secrets);
}

bool Forwarder::HTTPForward(const QString& address) {
    return RunNow(SendAddress(address));
}

// Sends the request; a failure before any response is the exchange's failure.
Task<HttpReply> Forwarder::Send(CurlTransfer& transfer, const HttpPostRequest& request) {
    Task<HttpReply> posting = Post(transfer, request);
    HttpReply reply = co_await posting;
    if (!reply.status.Ok() && reply.httpCode == 0) {
        throw InternetFailure{reply.status};
    }
    co_return reply;
}

// One HTTP sending of the address: the request as it goes, where it goes and what it carries.
struct Forwarder::HttpSending {
    HttpPostRequest request;
    UrlParts target;  // as typed; a redirect leads elsewhere for this request only
    QString address;  // empty for the off-line notice
    QString second;
    bool urlLogInTried = false;  // the log-in written into the URL answers the first challenge

    // The request's object and URL to `target`, with the query's secrets sent, masked or left out.
    QString Object(const SettingsRecord& s, QuerySecrets secrets) const {
        return RequestObject(target, s, address, secrets, second);
    }
    QByteArray Url(const SettingsRecord& s, QuerySecrets secrets) const {
        return RequestUrl(target, Object(s, secrets));
    }
};

Task<bool> Forwarder::SendAddress(QString address) {
    emit BusyChanged(true);
    const QString stamp = TimeStampNow();
    HttpSending sending;
    sending.address = address;
    // The off-line notice names no address.
    sending.second = address.isEmpty() ? QString() : m_secondSelectedIp();
    bool success = false;
    Task<bool> reading = PasswordsReady(m_settings.SendPassword ? kKeyringQueryPassword : 0, stamp);
    if (co_await reading) {
        ForwardingSession session(*this, Limits());
        emit OutputHeading(LoadString(Text::OutputCaption));
        emit OutputLine(LoadString(Text::OpeningInternet), false, false);
        session.EnableStatusCallback(true);
        try {
            Task<HttpReply> exchanging = ExchangeAddress(session.Transfer(), sending);
            const HttpReply reply = co_await exchanging;
            TakeHttpReply(reply, sending.address, stamp);
            success = true;
        } catch (const InternetFailure& failure) {
            ReportInternetError(failure.status, stamp);
        } catch (const QuorvaneException& e) {
            ReportError(e.m_messageId, e.m_detail, stamp);
        }
    }
    address = sending.address;
    if (success && !address.isEmpty()) {
        m_httpSentAddress = address;
    }
    if (m_settings.NotifyOnSend) {
        Notice(!success            ? LoadString(Text::ExchangeFailed)
               : address.isEmpty() ? OffLineNoticeText()
                                   : FormatString(Text::HttpSentNotice, address),
               IPrompter::Information);
    }
    emit BusyChanged(false);
    co_return success;
}

// The request, its log-ins and a redirect, to the reply that ends the exchange.
Task<HttpReply> Forwarder::ExchangeAddress(CurlTransfer& transfer, HttpSending& sending) {
    sending.request.headers = {"Accept: text/*", "User-Agent: Calvort_Quorvane"};
    sending.target = m_httpTarget;
    sending.urlLogInTried = sending.target.user.isEmpty();
    sending.request.url = sending.Url(m_settings, QuerySecrets::kSend);
    Task<HttpReply> first = Send(transfer, sending.request);
    HttpReply reply = co_await first;
    Task<HttpReply> answering = AnswerChallenges(transfer, sending, std::move(reply));
    reply = co_await answering;
    // 307 and 308 are followed like 302: the request is sent again as it was, a POST.
    if (reply.httpCode == 301 || reply.httpCode == 302 || reply.httpCode == 303 ||
        reply.httpCode == 307 || reply.httpCode == 308) {
        Task<HttpReply> following = FollowRedirect(transfer, sending, reply);
        reply = co_await following;
    }
    co_return reply;
}

// Answers each 401: with the log-in written into the URL first, then with what the user types.
Task<HttpReply> Forwarder::AnswerChallenges(CurlTransfer& transfer, HttpSending& sending,
                                            HttpReply reply) {
    while (reply.httpCode == 401) {
        std::optional<Credentials> answer;
        if (!sending.urlLogInTried) {
            sending.urlLogInTried = true;
            answer = Credentials{sending.target.user, sending.target.password};
        } else {
            Task<std::optional<Credentials>> asking =
                AskCredentialsInTurn(sending.target.server, FindRealm(reply.headers));
            answer = co_await asking;
            // The user may have taken a while: the address sent is the one ticked now.
            const QString now = m_selectedIp();
            if (!sending.address.isEmpty() && IsValidAddressText(now) && now != sending.address) {
                sending.address = now;
                sending.request.url = sending.Url(m_settings, QuerySecrets::kSend);
            }
        }
        if (!answer) {
            ThrowQuorvaneException(Text::AccessDenied);
        }
        sending.request.user = answer->user;
        sending.request.password = answer->password;
        Task<HttpReply> again = Send(transfer, sending.request);
        reply = co_await again;
    }
    co_return reply;
}

// Sends the request once more to where `reply` points, if that is safe.
Task<HttpReply> Forwarder::FollowRedirect(CurlTransfer& transfer, HttpSending& sending,
                                          HttpReply reply) {
    bool found = false;
    const QString location = FindLocation(reply.headers, &found);
    if (!found) {
        ThrowQuorvaneException(Text::RedirectWithoutLocation);
    }
    emit OutputLine(LoadString(Text::RedirectedTo) +
                        ShownText(MaskUrlPassword(location), TextField::kSingleLine),
                    true, true);
    UrlParts next;
    if (!SplitUrl(location, next)) {
        ThrowQuorvaneException(Text::InvalidRedirect);
    }
    if (!IsHttpService(next.service)) {
        ThrowQuorvaneException(Text::RedirectNotHttp);
    }
    // Never from HTTPS down to HTTP: the pairs would travel in clear.
    if (sending.target.service == kServiceHttps && next.service != kServiceHttps) {
        ThrowQuorvaneException(Text::SecureRedirectRefused);
    }
    // The secrets go only to the scheme, host and port the user typed: elsewhere the request goes
    // without the user ID and password pairs and without the log-in.
    const bool sameOrigin = SameOrigin(sending.target, next);
    const QuerySecrets secrets = sameOrigin ? QuerySecrets::kSend : QuerySecrets::kLeave;
    if (!sameOrigin) {
        sending.request.user.clear();
        sending.request.password.clear();
    }
    sending.target = next;
    sending.request.url = sending.Url(m_settings, secrets);
    emit OutputLine(sending.Object(m_settings, sameOrigin ? QuerySecrets::kMask : secrets), true,
                    true);
    Task<HttpReply> again = Send(transfer, sending.request);
    co_return co_await again;
}

// The host took the address only with a 200 and a reply that came whole.
void Forwarder::TakeHttpReply(const HttpReply& reply, const QString& address,
                              const QString& stamp) {
    if (reply.httpCode != 200) {
        ThrowQuorvaneException(Text::GotStatusCode, reply.httpCode);
    }
    emit OutputLine(FormatString(Text::HttpSentOutput, address) + stamp, true, true);
    if (!reply.status.Ok()) {
        throw InternetFailure{reply.status};  // the reply broke off
    }
    if (m_settings.ShowHostResponse && !m_shuttingDown) {
        emit HostReplied(
            LoadString(Text::AppTitle) + QStringLiteral(" - ") + LoadString(Text::HostReplyCaption),
            StripHTMLTags(ReplyText(reply.body)));
    }
}

void Forwarder::ReportInternetError(const TransferStatus& status, const QString& stamp) {
    emit OutputLine(LoadString(Text::ErrorPrefix) + QString::number(status.code) +
                        QLatin1Char(' ') + status.text.left(1024) + stamp,
                    true, true);
}

void Forwarder::ReportError(int messageId, int detail, const QString& stamp) {
    QString line = LoadString(messageId);
    if (detail != 0) {
        line += QString::number(detail);
    }
    emit OutputLine(line + stamp, true, true);
}

// ---- DNS ----

namespace {

QString DnsFailureText(const DnsUpdateResult& result) {
    switch (result.failure) {
        case DnsFailure::None:
            break;
        case DnsFailure::KeyRejected:
            return LoadString(Text::DnsKeyRejected);
        case DnsFailure::Refused:
            return LoadString(Text::DnsRefused);
        case DnsFailure::NotZone:
            return LoadString(Text::DnsNotZone);
        case DnsFailure::ServerFailure:
            return LoadString(Text::DnsServerFailure);
        case DnsFailure::OtherCode:
            return LoadString(Text::DnsOtherCode).arg(result.code);
        case DnsFailure::NoAnswer:
            return LoadString(Text::DnsNoAnswer);
        case DnsFailure::BadSignature:
            return LoadString(Text::DnsBadSignature);
        case DnsFailure::BadSettings:
            return LoadString(Text::DnsSettingsUnusable);
    }
    return {};
}

}  // namespace

Task<bool> Forwarder::UpdateRecords(QString address, QString second) {
    bool taken = true;
    for (const QString& each : {address, second}) {
        if (!each.isEmpty()) {
            Task<bool> updating = UpdateRecord(each, RecordTypeOf(each));
            const bool done = co_await updating;
            taken = taken && done;
        }
    }
    NoticeRecords(taken, second.isEmpty() ? address : address + QStringLiteral(", ") + second);
    co_return taken;
}

Task<bool> Forwarder::TakeDownRecords() {
    if (!m_dnsRecordsSet[0] && !m_dnsRecordsSet[1]) {
        m_dnsRecordsSet[static_cast<std::size_t>(RecordType::A)] = true;  // owed from the settings
    }
    const QString offLine = m_settings.DNSOffLineAddress.trimmed();
    bool taken = true;
    for (const RecordType type : {RecordType::A, RecordType::Aaaa}) {
        if (m_dnsRecordsSet[static_cast<std::size_t>(type)]) {
            // The off-line address where one of the record's type is set, else the record goes.
            Task<bool> updating =
                UpdateRecord(RecordTypeOf(offLine) == type ? offLine : QString(), type);
            const bool done = co_await updating;
            taken = taken && done;
        }
    }
    NoticeRecords(taken, QString());
    co_return taken;
}

Task<bool> Forwarder::UpdateRecord(QString address, RecordType type) {
    const SettingsRecord& s = m_settings;
    emit BusyChanged(true);
    const QString stamp = TimeStampNow();
    bool success = false;
    Task<bool> reading = PasswordsReady(kKeyringDNSKeySecret, stamp);
    if (co_await reading) {
        emit OutputHeading(LoadString(Text::OutputCaption));
        const DnsServer server{s.DNSServer.trimmed(), quint16(s.DNSPort)};
        RecordChange change;
        change.zone = s.DNSZone;
        change.name = s.DNSRecordName.trimmed();
        change.type = type;
        change.address = address;
        change.ttl = quint32(s.DNSTTL);
        DnsUpdate update;
        Task<DnsUpdateResult> updating = SendUpdate(
            update, server, TsigKey{s.DNSKeyName, s.DNSKeyAlgorithm, s.DNSKeySecret}, change);
        const DnsUpdateResult result = co_await updating;
        const QString typeName = RecordTypeName(type);
        if (!result.Ok()) {
            QString detail = DnsFailureText(result);
            if (!result.detail.isEmpty()) {
                detail += QStringLiteral(" (%1)").arg(result.detail);
            }
            emit OutputLine(
                LoadString(Text::DnsUpdateFailed).arg(change.name, server.host) + detail + stamp,
                true, true);
        } else {
            success = true;
            const QString line =
                address.isEmpty()
                    ? LoadString(Text::DnsRecordRemoved).arg(change.name, typeName, server.host)
                    : LoadString(result.served ? Text::DnsRecordServed : Text::DnsRecordNotServed)
                          .arg(change.name, typeName, address, server.host);
            emit OutputLine(line + stamp, true, true);
            m_dnsRecordsSet[static_cast<std::size_t>(type)] = !address.isEmpty();
        }
    }
    emit BusyChanged(false);
    co_return success;
}

// One notice for the records of one forward.
void Forwarder::NoticeRecords(bool taken, const QString& addresses) {
    if (m_settings.NotifyOnSend) {
        Notice(!taken                ? LoadString(Text::ExchangeFailed)
               : addresses.isEmpty() ? OffLineNoticeText()
                                     : FormatString(Text::DnsSentNotice, addresses),
               IPrompter::Information);
    }
}

// ---- FTP ----

// The FTP page's password is used unless the target URL holds a log-in.
int Forwarder::FtpPasswordNeeded() const {
    return m_ftpTarget.user.isEmpty() && !m_settings.FTPUserID.isEmpty() ? kKeyringFTPPassword : 0;
}

// The passwords of `needed` the keyring keeps are read first: without them nothing is sent, as
// an empty password would fail at the host at best.
Task<bool> Forwarder::PasswordsReady(int needed, const QString& stamp) {
    PasswordStore* store = m_passwords;
    if (!store || !(m_settings.PasswordsToRead & needed)) {
        co_return true;
    }
    if (!m_shuttingDown) {  // at shutdown there is no time to wait for the keyring
        PasswordAwait reading(*this, *store, needed);
        co_await reading;
    }
    if (!(m_settings.PasswordsToRead & needed)) {
        co_return true;
    }
    emit OutputLine(QStringLiteral("The password is kept in the desktop keyring, which did not "
                                   "give it (%1): nothing was sent.")
                            .arg(store->ErrorText()) +
                        stamp,
                    true, true);
    co_return false;
}

// The log-in written into the target URL wins over the one on the FTP page.
FtpAccount Forwarder::Account() const {
    const SettingsRecord& s = m_settings;
    FtpAccount account;
    account.host = m_ftpTarget.server;
    account.port = m_ftpTarget.port;
    const bool inUrl = !m_ftpTarget.user.isEmpty();
    account.user = inUrl ? m_ftpTarget.user : s.FTPUserID;
    account.password = inUrl ? m_ftpTarget.password : s.FTPPassword;
    account.implicitTls = m_ftpTarget.service == kServiceFtps;
    account.requireTls = s.FTPRequireEncryption;
    return account;
}

std::optional<QByteArray> Forwarder::PrepareFTPPage(const QString& replacement, QString& remoteName,
                                                    const QString& second) {
    const SettingsRecord& s = m_settings;
    if (s.FTPReplacementString.isEmpty()) {
        return std::nullopt;
    }
    PageFile page;
    if (!OpenPage(s.FTPForwardWebPage, true, page)) {
        Notice(FileErrorText(Text::PageFileProblem, page.cause), IPrompter::Warning);
        return std::nullopt;
    }
    remoteName = JoinRemotePath(m_ftpTarget.object, page.name);
    QByteArray text = TextModeBytes(page.bytes);
    if (!ReplaceFirst(text, s.FTPReplacementString.toUtf8(), replacement.toUtf8())) {
        return std::nullopt;
    }
    // A page made for one address may lack the second placeholder: it goes all the same.
    if (!second.isEmpty() && !s.FTPReplacementString6.isEmpty()) {
        ReplaceFirst(text, s.FTPReplacementString6.toUtf8(), second.toUtf8());
    }
    return text;
}

bool Forwarder::UploadFTPPage(const QString& replacement) {
    return RunNow(UploadPage(replacement));
}

Task<bool> Forwarder::UploadPage(QString replacement, QString second) {
    const SettingsRecord& s = m_settings;
    emit BusyChanged(true);
    const QString stamp = TimeStampNow();
    emit OutputHeading(LoadString(Text::OutputCaption));
    QString remoteName;
    const std::optional<QByteArray> page = PrepareFTPPage(replacement, remoteName, second);
    if (!page) {
        emit OutputLine(LoadString(Text::PageProblem), true, true);
        Notice(LoadString(Text::PageProblem), IPrompter::Warning);
        emit BusyChanged(false);
        co_return false;
    }
    bool success = false;
    Task<bool> reading = PasswordsReady(FtpPasswordNeeded(), stamp);
    if (co_await reading) {
        ForwardingSession session(*this, Limits());
        emit OutputLine(LoadString(Text::OpeningInternet), false, false);
        session.EnableStatusCallback(true);
        const FtpAccount account = Account();
        const QString temporary = TemporaryName(remoteName);
        CurlTransfer& transfer = session.Transfer();
        Task<TransferStatus> storing =
            FtpStore(transfer, account, temporary, *page,
                     {QStringLiteral("RNFR ") + temporary, QStringLiteral("RNTO ") + remoteName});
        TransferStatus status = co_await storing;
        if (status.code == kFtpCommandRefused) {
            emit OutputLine(QString::fromLatin1(kRenameRefused), true, true);
            Task<TransferStatus> storingDirectly = FtpStore(transfer, account, remoteName, *page,
                                                            {QStringLiteral("*DELE ") + temporary});
            status = co_await storingDirectly;
        }
        if (status.Ok()) {
            emit OutputLine(FormatString(Text::FtpSentOutput, replacement) + stamp, true, true);
            success = true;
        } else {
            if (status.code == kFtpFolderRefused) {
                const QString folder = remoteName.left(remoteName.lastIndexOf(QLatin1Char('/')));
                status.text =
                    QStringLiteral("The host refused to make or open the folder '%1' (%2)")
                        .arg(folder.isEmpty() ? QStringLiteral("/") : folder, status.text);
            }
            ReportInternetError(status, stamp);
        }
    }
    if (s.NotifyOnSend) {
        Notice(success ? FormatString(Text::FtpSentNotice, replacement)
                       : LoadString(Text::ExchangeFailed),
               IPrompter::Information);
    }
    emit BusyChanged(false);
    co_return success;
}

Task<bool> Forwarder::RemovePage() {
    const SettingsRecord& s = m_settings;
    emit BusyChanged(true);
    const QString stamp = TimeStampNow();
    emit OutputHeading(LoadString(Text::OutputCaption));
    QString remoteName;
    PageFile page;
    if (OpenPage(s.FTPForwardWebPage, false, page)) {
        remoteName = JoinRemotePath(m_ftpTarget.object, page.name);
    } else {
        Notice(FileErrorText(Text::PageFileProblem, page.cause), IPrompter::Warning);
    }
    bool success = false;
    bool gone = false;
    Task<bool> reading = PasswordsReady(FtpPasswordNeeded(), stamp);
    if (co_await reading) {
        ForwardingSession session(*this, Limits());
        emit OutputLine(LoadString(Text::OpeningInternet), false, false);
        session.EnableStatusCallback(true);
        CurlTransfer& transfer = session.Transfer();
        const FtpAccount account = Account();
        Task<TransferStatus> removing =
            FtpCommands(transfer, account, {QStringLiteral("DELE ") + remoteName});
        const TransferStatus status = co_await removing;
        if (status.Ok()) {
            emit OutputLine(
                FormatString(Text::PageRemovedOutput, m_ftpTarget.server + remoteName) + stamp,
                true, true);
            success = true;
        } else if (status.code == kFtpCommandRefused) {
            emit OutputLine(QString::fromLatin1(kAlreadyRemoved) + stamp, true, true);
            gone = true;
        } else {
            ReportInternetError(status, stamp);
        }
    }
    if (s.NotifyOnSend) {
        Notice(success ? FormatString(Text::PageRemovedNotice, remoteName)
                       : LoadString(Text::ExchangeFailed),
               IPrompter::Information);
    }
    emit BusyChanged(false);
    co_return success || gone;
}

// ---- Dynamic DNS service ----

ForwardOutcome Forwarder::DynDnsForward(const QString& first, const QString& second, bool byHand) {
    return RunNow(UpdateDynDns(first, second, byHand));
}

// One update names every host; the service answers one line for each. Nothing is sent while the
// updates are stopped (unless the user asks) or wait, nor when the service holds the addresses
// already: a repeated "nochg" gets hosts blocked.
Task<ForwardOutcome> Forwarder::UpdateDynDns(QString first, QString second, bool byHand) {
    const SettingsRecord& s = m_settings;
    const QString stamp = TimeStampNow();
    emit OutputHeading(LoadString(Text::OutputCaption));
    const auto line = [this, &stamp](const QString& text) {
        emit OutputLine(text + stamp, true, true);
    };
    UrlParts target;
    if (!SplitUrl(s.DynDnsURL, target) || !DynDnsTargetAllowed(target)) {
        line(LoadString(Text::DynDnsInsecure));
        co_return ForwardOutcome::kNothingToSend;
    }
    const QStringList hosts = DynDnsHostNames(s.DynDnsHosts);
    if (hosts.isEmpty()) {
        line(LoadString(Text::DynDnsNoHosts));
        co_return ForwardOutcome::kNothingToSend;
    }
    QString ipv4;
    QString ipv6;
    for (const QString& address : {first, second}) {
        if (!address.isEmpty()) {
            (address.contains(QLatin1Char(':')) ? ipv6 : ipv4) = address;
        }
    }
    Task<bool> reading = PasswordsReady(kKeyringDynDnsPassword, stamp);
    if (!co_await reading) {
        co_return ForwardOutcome::kFailed;
    }
    const DynDnsLedger ledger(m_options.dynDnsLedger.isEmpty() ? DynDnsLedger::DefaultPath()
                                                               : m_options.dynDnsLedger);
    const QString key = DynDnsLedger::TargetKey(s.DynDnsURL, hosts, s.DynDnsUser);
    DynDnsLedger::Entry entry = ledger.Read(key);
    if (!entry.stoppedBy.isEmpty() && m_dynDnsStopPassword &&
        *m_dynDnsStopPassword != s.DynDnsPassword) {
        entry.stoppedBy.clear();
    }
    if (!entry.stoppedBy.isEmpty() && !byHand) {
        line(LoadString(Text::DynDnsStopped).arg(DynDnsStopReason(entry.stoppedBy)));
        co_return ForwardOutcome::kNothingToSend;
    }
    const QDateTime now = m_options.clock ? m_options.clock->Now() : QDateTime::currentDateTime();
    if (entry.waitUntil.isValid() && now < entry.waitUntil) {
        line(LoadString(Text::DynDnsWait)
                 .arg(QLocale::c().toString(entry.waitUntil.toLocalTime(),
                                            QStringLiteral("HH:mm"))));
        co_return ForwardOutcome::kFailed;
    }
    QStringList sent;
    for (const QString& address : {ipv4, ipv6}) {
        if (!address.isEmpty()) {
            sent << address;
        }
    }
    if (entry.ipv4 == ipv4 && entry.ipv6 == ipv6) {
        line(LoadString(Text::DynDnsUnchanged).arg(sent.join(QStringLiteral(", "))));
        co_return ForwardOutcome::kTaken;
    }

    emit BusyChanged(true);
    ForwardingSession session(*this, Limits());
    emit OutputLine(LoadString(Text::OpeningInternet), false, false);
    session.EnableStatusCallback(true);
    HttpFetchRequest request;
    request.url = RequestUrl(target, AppendQuery(target.object, DynDnsQuery(hosts, ipv4, ipv6)));
    const QByteArray login = (s.DynDnsUser + QLatin1Char(':') + s.DynDnsPassword).toUtf8();
    request.headers = {"Authorization: Basic " + login.toBase64(),
                       QByteArrayLiteral("User-Agent: Quorvane/" QV_VERSION)};
    Task<HttpReply> fetching = Get(session.Transfer(), request);
    const HttpReply reply = co_await fetching;
    entry.ipv4 = ipv4;
    entry.ipv6 = ipv6;
    const ForwardOutcome outcome =
        TakeDynDnsReply(reply, key, entry, sent.join(QStringLiteral(", ")), stamp);
    if (s.NotifyOnSend) {
        Notice(outcome == ForwardOutcome::kTaken
                   ? LoadString(Text::DynDnsSentNotice).arg(sent.join(QStringLiteral(", ")))
                   : LoadString(Text::ExchangeFailed),
               IPrompter::Information);
    }
    emit BusyChanged(false);
    co_return outcome;
}

// The service's answer, one line per host name: the addresses are noted as taken only when every
// host took them; a refusing code stops the automatic updates, a failing one makes them wait.
ForwardOutcome Forwarder::TakeDynDnsReply(const HttpReply& reply, const QString& ledgerKey,
                                          DynDnsLedger::Entry entry, const QString& sent,
                                          const QString& stamp) {
    const auto line = [this, &stamp](const QString& text) {
        emit OutputLine(text + stamp, true, true);
    };
    if (reply.httpCode == 0) {
        ReportInternetError(reply.status, stamp);
        return ForwardOutcome::kFailed;
    }
    std::vector<DynDnsAnswer> answers = ParseDynDnsReply(reply.body);
    // Some services answer a refused log-in with 401 and no code.
    if (answers.empty() && reply.httpCode == 401) {
        answers.push_back(
            {QStringLiteral("badauth"), QStringLiteral("badauth"), DynDnsVerdict::kStop});
    }
    if (answers.empty() || (reply.httpCode != 200 && reply.httpCode != 401)) {
        ReportError(Text::GotStatusCode, reply.httpCode, stamp);
        return ForwardOutcome::kFailed;
    }
    const QStringList hosts = DynDnsHostNames(m_settings.DynDnsHosts);
    QString stoppedBy;
    bool wait = false;
    bool unknown = false;
    for (size_t i = 0; i < answers.size(); ++i) {
        const DynDnsAnswer& answer = answers[i];
        const QString host = qsizetype(i) < hosts.size() ? hosts[qsizetype(i)] : hosts.last();
        line(LoadString(Text::DynDnsAnswered)
                 .arg(host, ShownText(answer.line, TextField::kSingleLine).left(200)));
        switch (answer.verdict) {
            case DynDnsVerdict::kTaken:
                break;
            case DynDnsVerdict::kStop:
                if (stoppedBy.isEmpty()) {
                    stoppedBy = answer.code;
                }
                break;
            case DynDnsVerdict::kWait:
                wait = true;
                break;
            case DynDnsVerdict::kUnknown:
                unknown = true;
                break;
        }
    }
    const DynDnsLedger ledger(m_options.dynDnsLedger.isEmpty() ? DynDnsLedger::DefaultPath()
                                                               : m_options.dynDnsLedger);
    DynDnsLedger::Entry before = ledger.Read(ledgerKey);
    before.stoppedBy = stoppedBy;
    before.waitUntil = {};
    ForwardOutcome outcome = ForwardOutcome::kFailed;
    if (!stoppedBy.isEmpty()) {
        m_dynDnsStopPassword = m_settings.DynDnsPassword;
        line(LoadString(Text::DynDnsStopped).arg(DynDnsStopReason(stoppedBy)));
        outcome = ForwardOutcome::kNothingToSend;
    } else if (wait) {
        const QDateTime now =
            m_options.clock ? m_options.clock->Now() : QDateTime::currentDateTime();
        before.waitUntil = now.addSecs(qint64(kDynDnsWaitMinutes) * 60).toUTC();
        line(LoadString(Text::DynDnsWait)
                 .arg(QLocale::c().toString(before.waitUntil.toLocalTime(),
                                            QStringLiteral("HH:mm"))));
    } else if (unknown) {
        line(LoadString(Text::DynDnsUnknownAnswer).arg(sent));
    } else {
        m_dynDnsStopPassword.reset();
        before.ipv4 = entry.ipv4;
        before.ipv6 = entry.ipv6;
        outcome = ForwardOutcome::kTaken;
    }
    ledger.Write(ledgerKey, before);
    return outcome;
}

// ---- Helpers ----

// The off-line notice names the address the host was told about: the last one it took, else (a
// notice owed from an earlier run) the selected one.
QString Forwarder::OffLineNoticeText() const {
    const QString address = m_httpSentAddress.isEmpty() ? m_selectedIp() : m_httpSentAddress;
    return QStringLiteral(
               "Internet communications completed successfully. The host has been told "
               "that IP Address '%1' has gone off line.")
        .arg(address);
}

QString Forwarder::TimeStampNow() const {
    return m_options.clock ? TimeStamp(*m_options.clock) : TimeStamp();
}

// The bounds of the next transfer: at shutdown within what is left of the off-line step's time.
TransferLimits Forwarder::Limits() const {
    TransferLimits limits = m_options.limits;
    if (m_shuttingDown) {
        const std::chrono::milliseconds left(std::max<qint64>(1, m_shutdownEnd.remainingTime()));
        limits.connect = std::min(limits.connect, left);
        limits.total = std::min(limits.total, left);
        limits.accept = std::min(limits.accept, left);
    }
    return limits;
}

void Forwarder::Tell(int stringId, IPrompter::Buttons buttons, IPrompter::Icon icon,
                     std::function<void(int)> answer) {
    if (!m_shuttingDown) {
        m_questions.Ask(LoadString(stringId), LoadString(Text::AppTitle), buttons, icon,
                        std::move(answer));
    }
}

void Forwarder::Tell(const QString& text) {
    if (!m_shuttingDown) {
        m_questions.Ask(text, LoadString(Text::AppTitle), IPrompter::Ok, IPrompter::NoIcon, {});
    }
}

void Forwarder::Notice(const QString& text, IPrompter::Icon icon) {
    if (!m_shuttingDown) {
        emit PopupNotice(text, icon, kNoticeLife);
    }
}

}  // namespace qv
