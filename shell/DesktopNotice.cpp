#include "shell/DesktopNotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QRegularExpression>
#include <QWidget>

#include "resources/StringTable.h"

namespace qv {
namespace {

const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
// A local service answers at once; notices wait no longer than this for one that hangs.
constexpr int kCallTimeoutMs = 1000;

}  // namespace

DesktopNotice::DesktopNotice(QDBusConnection bus) : m_bus(std::move(bus)) {}

DesktopNotice::~DesktopNotice() = default;

void DesktopNotice::Show(const QString& text, const QString& caption, IPrompter::Icon icon,
                         QWidget* owner, int lifeMs) {
    const QWidget* window = owner ? owner->window() : nullptr;
    const bool hidden = window && (!window->isVisible() || window->isMinimized());
    if (!hidden) {
        m_boxes.Show(text, caption, icon, owner, lifeMs);
        return;
    }
    if (!m_bus) {
        m_bus = QDBusConnection::sessionBus();
    }
    if (!m_bus->isConnected()) {
        m_boxes.Show(text, caption, icon, owner, lifeMs);
        return;
    }
    m_waiting.push_back({text, caption, icon, owner, lifeMs});
    if (m_waiting.size() == 1) {
        SendFirst();
    }
}

void DesktopNotice::CloseAll() {
    m_boxes.CloseAll();
}

void DesktopNotice::Call(const char* method, const QVariantList& args,
                         std::function<void(const QDBusMessage&)> then) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kService), QLatin1String(method));
    message.setArguments(args);
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus->asyncCall(message, kCallTimeoutMs), &m_calls);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, then = std::move(then)] {
                         watcher->deleteLater();
                         then(watcher->reply());
                     });
}

// Notices go to the service one at a time, each after the answer to the one before, so that
// each replaces the last in place.
void DesktopNotice::SendFirst() {
    if (!m_capabilities) {
        Call("GetCapabilities", {}, [this](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage) {
                ShowWaitingAsBoxes();
                return;
            }
            m_capabilities = reply.arguments().value(0).toStringList();
            SendFirst();
        });
        return;
    }
    const Waiting& notice = m_waiting.front();
    // The service wraps the text to its own width: the box's line breaks would only cut it up.
    static const QRegularExpression lineBreaks(QStringLiteral(" *[\\r\\n]+ *"));
    const QString flowing = QString(notice.text).replace(lineBreaks, QStringLiteral(" ")).trimmed();
    // A service that reads markup in the body would take '<' and '&' of the text as markup.
    const QString body =
        m_capabilities->contains(QLatin1String("body-markup")) ? flowing.toHtmlEscaped() : flowing;
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quorvane")}};
    const QString title = LoadString(Text::AppTitle);
    Call("Notify",
         {title, m_lastId, QStringLiteral("quorvane"), title, body, QStringList(), hints,
          notice.lifeMs},
         [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage) {
                 ShowWaitingAsBoxes();
                 return;
             }
             m_lastId = reply.arguments().value(0).toUInt();
             m_waiting.pop_front();
             if (!m_waiting.empty()) {
                 SendFirst();
             }
         });
}

// The service did not answer: what waits for it is shown as boxes, and the next notice asks
// the service again.
void DesktopNotice::ShowWaitingAsBoxes() {
    m_capabilities.reset();
    for (const Waiting& notice : std::exchange(m_waiting, {})) {
        m_boxes.Show(notice.text, notice.caption, notice.icon, notice.owner.data(), notice.lifeMs);
    }
}

}  // namespace qv
