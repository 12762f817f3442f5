#include "settings/LoginAutostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace qv::LoginAutostart {
namespace {

// The Exec value: the path quoted as the desktop entry format asks, and '%' doubled since it
// starts a field code.
QString ExecValue(const QString& program) {
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    // The \\ of the quoting is itself escaped in a string value.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString EntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/quorvane.desktop");
}

bool IsOn() {
    QFile file(EntryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry &&
                   (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")) {
            return false;
        }
    }
    return true;
}

bool Set(bool on, const QString& program) {
    const QString path = EntryPath();
    if (!on) {
        return !QFile::exists(path) || QFile::remove(path);
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Quorvane\n"
                             "Comment=Watch this machine's IP address and forward changes to "
                             "your web host\n"
                             "Exec=%1\n"
                             "Icon=quorvane\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(ExecValue(program));
    file.write(text.toUtf8());
    return file.commit();
}

}  // namespace qv::LoginAutostart
