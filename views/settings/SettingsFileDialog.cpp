#include "views/settings/SettingsFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qv {
namespace {

class WindowFileDialogs : public IFileDialogs {
  public:
    void OpenFileName(QWidget* parent, const FileDialogRequest& request,
                      std::function<void(const QString&)> chosen) override {
        auto* dialog = new QFileDialog(parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog->setNameFilter(QtFilterText(request.filters));
        if (!request.defaultSuffix.isEmpty()) {
            dialog->setDefaultSuffix(request.defaultSuffix);
        }
        if (!request.initialPath.isEmpty()) {
            const QFileInfo info(request.initialPath);
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
        }
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& file) {
            chosen(QFileInfo(file).absoluteFilePath());
        });
        dialog->open();
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
