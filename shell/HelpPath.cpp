#include "shell/HelpPath.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qv {

QString RewriteHelpExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (dot < 0 || dot < slash) {
        return path;
    }
    if (path.mid(dot, 3).compare(QLatin1String(".hl"), Qt::CaseInsensitive) != 0) {
        return path;
    }
    return path.left(dot) + QLatin1String(".chm");
}

QStringList HelpFileCandidates(const QString& programFolder) {
    const QString name = QLatin1String(kHelpFileName);
    QStringList list;
    if (!programFolder.isEmpty()) {
        list << QDir::cleanPath(programFolder + QLatin1Char('/') + name);
        list << QDir::cleanPath(programFolder +
                                QLatin1String("/../" QV_INSTALL_DATADIR "/quorvane/") + name);
    }
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString path = QDir::cleanPath(dir + QLatin1String("/quorvane/") + name);
        if (!list.contains(path)) {
            list << path;
        }
    }
    return list;
}

QString FindHelpFile(const QString& programFolder) {
    for (const QString& path : HelpFileCandidates(programFolder)) {
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return {};
}

}  // namespace qv
