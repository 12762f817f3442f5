#include "shell/DesktopNotice.h"

#include <QDBusMessage>
#include <QRegularExpression>
#include <QWidget>

#include "resources/StringTable.h"

namespace qv {
namespace {

const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
// A local service answers at once; one that hangs must not hold the window for long.
constexpr int kCallTimeoutMs = 1000;

}  // namespace

DesktopNotice::DesktopNotice(QDBusConnection bus) : m_bus(std::move(bus)) {}

void DesktopNotice::Show(const QString& text, const QString& caption, IPrompter::Icon icon,
                         QWidget* owner, int lifeMs) {
    const QWidget* window = owner ? owner->window() : nullptr;
    const bool hidden = window && (!window->isVisible() || window->isMinimized());
    if (hidden && Notify(text, lifeMs)) {
        return;  // the service closes it when its time is up
    }
    m_boxes.Show(text, caption, icon, owner, lifeMs);
}

void DesktopNotice::CloseAll() {
    m_boxes.CloseAll();
}

bool DesktopNotice::Notify(const QString& text, int lifeMs) {
    if (!m_bus) {
        m_bus = QDBusConnection::sessionBus();
    }
    if (!m_bus->isConnected()) {
        return false;
    }
    const auto call = [this](const char* method, const QVariantList& args) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                           QLatin1String(kService), QLatin1String(method));
        message.setArguments(args);
        return m_bus->call(message, QDBus::Block, kCallTimeoutMs);
    };
    const QDBusMessage capabilities = call("GetCapabilities", {});
    if (capabilities.type() != QDBusMessage::ReplyMessage) {
        return false;
    }
    // A service that reads markup in the body would take '<' and '&' of the text as markup.
    const QStringList caps = capabilities.arguments().value(0).toStringList();
    // The service wraps the text to its own width: the box's line breaks would only cut it up.
    static const QRegularExpression lineBreaks(QStringLiteral(" *[\\r\\n]+ *"));
    const QString flowing = QString(text).replace(lineBreaks, QStringLiteral(" ")).trimmed();
    const QString body =
        caps.contains(QLatin1String("body-markup")) ? flowing.toHtmlEscaped() : flowing;
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quorvane")}};
    // One notification at a time: each notice replaces the last one in place.
    const QString title = LoadString(Text::AppTitle);
    const QDBusMessage reply = call("Notify", {title, m_lastId, QStringLiteral("quorvane"), title,
                                               body, QStringList(), hints, lifeMs});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return false;
    }
    m_lastId = reply.arguments().value(0).toUInt();
    return true;
}

}  // namespace qv
