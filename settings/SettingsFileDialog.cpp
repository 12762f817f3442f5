#include "settings/SettingsFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qv {
namespace {

class WindowFileDialogs : public IFileDialogs {
  public:
    std::optional<QString> OpenFileName(QWidget* parent,
                                        const FileDialogRequest& request) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setNameFilter(QtFilterText(request.filters));
        if (!request.defaultSuffix.isEmpty()) {
            dialog.setDefaultSuffix(request.defaultSuffix);
        }
        if (!request.initialPath.isEmpty()) {
            const QFileInfo info(request.initialPath);
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
    }
};

WindowFileDialogs g_window;
IFileDialogs* g_dialogs = &g_window;

}  // namespace

IFileDialogs& FileDialogs() {
    return *g_dialogs;
}

void SetFileDialogs(IFileDialogs* dialogs) {
    g_dialogs = dialogs ? dialogs : &g_window;
}

QString QtFilterText(const QList<FileFilter>& filters) {
    QStringList parts;
    for (const FileFilter& f : filters) {
        parts << f.name + QStringLiteral(" (") + f.patterns.join(QLatin1Char(' ')) +
                     QLatin1Char(')');
    }
    return parts.join(QStringLiteral(";;"));
}

}  // namespace qv
