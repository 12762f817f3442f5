#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
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
    // Shows the dialog and returns at once; `chosen` gets the file's absolute path when the user
    // picks one (nothing when cancelled).
    virtual void OpenFileName(QWidget* parent, const FileDialogRequest& request,
                              std::function<void(const QString&)> chosen) = 0;
};

IFileDialogs& FileDialogs();
void SetFileDialogs(IFileDialogs* dialogs);  // nullptr restores the window dialogs

// "HTML Files (*.htm *.html);;ASP Files (*.asp)" for a QFileDialog.
QString QtFilterText(const QList<FileFilter>& filters);

}  // namespace qv
