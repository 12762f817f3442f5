#include "platform/InstalledFile.h"

#include <QFile>
#include <QFileInfo>

namespace qv {

QString InstalledFile(const char* folder, const char* name, const char* built) {
    // The program's own path without QCoreApplication, which a helper thread may not have.
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString installed =
        QFileInfo(program).path() +
        QStringLiteral("/../%1/quorvane/%2").arg(QLatin1String(folder), QLatin1String(name));
    return !program.isEmpty() && QFileInfo::exists(installed) ? installed
                                                              : QString::fromUtf8(built);
}

}  // namespace qv
