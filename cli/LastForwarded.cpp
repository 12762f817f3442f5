#include "cli/LastForwarded.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace qv {
namespace {

QString Key(const QString& target) {
    return QString::fromLatin1(
        QCryptographicHash::hash(target.toUtf8(), QCryptographicHash::Sha256).toHex());
}

}  // namespace

QString LastForwarded::DefaultPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/Calvort/Quorvane-forwarded.conf");
}

QString LastForwarded::AddressOf(const QString& target) const {
    QSettings file(m_path, QSettings::IniFormat);
    return file.value(QStringLiteral("Forwarded/") + Key(target)).toString();
}

bool LastForwarded::Remember(const QString& target, const QString& address) const {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings file(m_path, QSettings::IniFormat);
    const QString key = QStringLiteral("Forwarded/") + Key(target);
    if (file.status() == QSettings::NoError && file.value(key).toString() == address) {
        return true;  // noted already: the file is not written again
    }
    if (address.isEmpty()) {
        file.remove(key);
    } else {
        file.setValue(key, address);
    }
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace qv
