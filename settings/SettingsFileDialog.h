#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace qv {

// One choice of a file dialog's type list, e.g. {"HTML Files", {"*.htm", "*.html"}}.
struct FileFilter {
    QString name;
    QStringList patterns;
};

struct FileDialogRequest {
    QString initialPath;        // the current file name; the dialog starts in its folder
    QString defaultSuffix;      // appended to a typed name without one ("txt"); empty for none
    QList<FileFilter> filters;  // the first one is selected
    bool mustExist = true;      // false: a name that does not exist yet may be given
};

// The Browse buttons' file dialog. The application uses the window one; tests install a scripted
// one.
class IFileDialogs {
  public:
    virtual ~IFileDialogs() = default;
    // The chosen full path, or nothing when the user cancels.
    virtual std::optional<QString> OpenFileName(QWidget* parent,
                                                const FileDialogRequest& request) = 0;
};

IFileDialogs& FileDialogs();
void SetFileDialogs(IFileDialogs* dialogs);  // nullptr restores the window dialogs

// "HTML Files (*.htm *.html);;ASP Files (*.asp)" for a QFileDialog.
QString QtFilterText(const QList<FileFilter>& filters);

}  // namespace qv
