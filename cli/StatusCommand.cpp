#include "cli/StatusCommand.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantMap>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleOutput.h"
#include "watch/WatcherService.h"

namespace qv {
namespace {

constexpr int kAnswerTimeoutMs = 5000;

// A property's value with the bus's nested dictionaries made plain maps.
QVariant Plain(const QVariant& value) {
    if (value.canConvert<QDBusArgument>() &&
        value.value<QDBusArgument>().currentType() == QDBusArgument::MapType) {
        QVariantMap map = qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
        for (auto it = map.begin(); it != map.end(); ++it) {
            it.value() = Plain(it.value());
        }
        return map;
    }
    return value;
}

void WriteLines(std::FILE* out, const QVariantMap& p) {
    const auto line = [out](const char* what, const QString& value) {
        std::fprintf(out, "%s: %s\n", what, qPrintable(value));
    };
    const QString nextTry = p.value(QStringLiteral("NextTry")).toString();
    line("state", p.value(QStringLiteral("State")).toString() +
                      (nextTry.isEmpty() ? QString() : QStringLiteral(", next try at ") + nextTry));
    const QStringList ticked = p.value(QStringLiteral("TickedAddresses")).toStringList();
    line("ticked", ticked.isEmpty() ? QStringLiteral("none present") : ticked.join(' '));
    const QString target = p.value(QStringLiteral("Target")).toString();
    line("target", target);
    const QVariantMap forwarded = p.value(QStringLiteral("LastForwarded")).toMap();
    for (auto it = forwarded.begin(); it != forwarded.end(); ++it) {
        const QVariantMap last = it.value().toMap();
        line("forwarded", QStringLiteral("%1 at %2%3")
                              .arg(last.value(QStringLiteral("address")).toString(),
                                   last.value(QStringLiteral("time")).toString(),
                                   it.key() == target ? QString() : " to " + it.key()));
    }
    if (forwarded.isEmpty()) {
        line("forwarded", QStringLiteral("nothing yet"));
    }
}

QByteArray AsJson(const QVariantMap& p) {
    const QString nextTry = p.value(QStringLiteral("NextTry")).toString();
    QJsonObject o;
    o.insert(QStringLiteral("state"), p.value(QStringLiteral("State")).toString());
    o.insert(QStringLiteral("nextTry"), nextTry.isEmpty() ? QJsonValue() : QJsonValue(nextTry));
    o.insert(QStringLiteral("ticked"),
             QJsonArray::fromStringList(p.value(QStringLiteral("TickedAddresses")).toStringList()));
    o.insert(QStringLiteral("target"), p.value(QStringLiteral("Target")).toString());
    o.insert(QStringLiteral("lastForwarded"),
             QJsonObject::fromVariantMap(p.value(QStringLiteral("LastForwarded")).toMap()));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

}  // namespace

int StatusCommand(const Arguments& args, std::FILE* out, ConsoleOutput& say, QDBusConnection bus) {
    const QString none = QStringLiteral(
                             "quorvane-cli: no watcher runs (none is offered as %1 on "
                             "the session bus)")
                             .arg(QLatin1String(kServiceName));
    if (!bus.isConnected()) {
        say.Say(Priority::Error, none);
        return kCliNoneRuns;
    }
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kServicePath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << QString::fromLatin1(kServiceInterface);
    // A command on a terminal: it waits for the answer, without an event loop.
    const QDBusMessage reply = bus.call(getAll, QDBus::Block, kAnswerTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            say.Say(Priority::Error, none);
            return kCliNoneRuns;
        }
        say.Say(Priority::Error, QStringLiteral("quorvane-cli: the watcher did not answer: ") +
                                     reply.errorMessage());
        return kCliFailed;
    }
    QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        it.value() = Plain(it.value());
    }
    if (args.Has("--json")) {
        std::fputs(AsJson(properties).constData(), out);
    } else {
        WriteLines(out, properties);
    }
    std::fflush(out);
    return kCliOk;
}

}  // namespace qv
