#include "platform/RouterCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <arpa/inet.h>

namespace qv {
namespace {

const char kNoRouter[] = "none";

struct Note {
    QByteArray network;
    QByteArray location;
    qint64 noted = 0;  // seconds since the epoch
};

// The notes younger than kLife; a line that is not a note is dropped.
QList<Note> ReadNotes() {
    QList<Note> notes;
    QFile file(RouterCache::FilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return notes;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 life = std::chrono::seconds(RouterCache::kLife).count();
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        bool ok = false;
        const qint64 noted = parts.value(2).toLongLong(&ok);
        if (parts.size() == 3 && ok && noted <= now && now - noted < life) {
            notes.append({parts[0], parts[1], noted});
        }
    }
    return notes;
}

}  // namespace

QString RouterCache::CurrentNetwork(INetTables& tables) {
    const auto gateways = tables.DefaultGateways();
    if (gateways.rows.empty()) {
        return QStringLiteral("-");
    }
    const DefaultGatewayRow& gateway = gateways.rows.front();
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &gateway.address, text, sizeof text);
    QString mac;
    for (const IpNetRow& entry : tables.NetTable().rows) {
        if (entry.index == gateway.index && entry.address == gateway.address) {
            mac = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(entry.hardware),
                                                 static_cast<qsizetype>(entry.hardwareLength))
                                          .toHex('-'));
        }
    }
    return QString::fromLatin1(text) + QLatin1Char(' ') +
           (mac.isEmpty() ? QStringLiteral("-") : mac);
}

std::optional<QByteArray> RouterCache::Find(const QString& network) {
    const QByteArray key = network.toUtf8();
    for (const Note& note : ReadNotes()) {
        if (note.network == key) {
            return note.location == kNoRouter ? QByteArray() : note.location;
        }
    }
    return std::nullopt;
}

void RouterCache::Store(const QString& network, const QByteArray& location) {
    const QByteArray key = network.toUtf8();
    // A field holding a tab or line break would break the file into other notes.
    if (key.contains('\t') || key.contains('\n') || location.contains('\t') ||
        location.contains('\n') || location == kNoRouter) {
        return;
    }
    QByteArray bytes;
    for (const Note& note : ReadNotes()) {
        if (note.network != key) {
            bytes +=
                note.network + '\t' + note.location + '\t' + QByteArray::number(note.noted) + '\n';
        }
    }
    bytes += key + '\t' + (location.isEmpty() ? QByteArray(kNoRouter) : location) + '\t' +
             QByteArray::number(QDateTime::currentSecsSinceEpoch()) + '\n';
    const QString path = FilePath();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
        if (file.commit()) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        }
    }
}

QString RouterCache::FilePath() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    }
    return folder + QStringLiteral("/quorvane/upnp-routers");
}

}  // namespace qv
