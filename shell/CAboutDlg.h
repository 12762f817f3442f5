#pragma once

#include <QDialog>

namespace qv {

// The about box: the program's icon, name and version, and what it does.
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static QString VersionText();
};

}  // namespace qv
