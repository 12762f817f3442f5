#pragma once

#include <QDialog>

namespace qv {

// The about box: the program's icon, name and version, and what it does.
class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static QString VersionText();
};

}  // namespace qv
