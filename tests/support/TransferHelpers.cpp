#include "tests/support/TransferHelpers.h"

#include <QDir>
#include <QFile>

namespace qv::test {

QList<int> TransferHelpersWith(const QByteArray& entry) {
    QList<int> found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList({"[0-9]*"}, QDir::Dirs)) {
        QFile comm("/proc/" + pid + "/comm"), environment("/proc/" + pid + "/environ");
        // The name as the kernel keeps it: cut to 15 characters.
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "quorvane-transf" &&
            environment.open(QIODevice::ReadOnly) &&
            environment.readAll().split('\0').contains(entry)) {
            found << pid.toInt();
        }
    }
    return found;
}

}  // namespace qv::test
