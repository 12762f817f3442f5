#pragma once

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qv {

class WrapCheckBox;

// "Logging": the event log on or off, its file, the notice for a big file, and a small viewer
// that loads the file or empties it.
class LoggingPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kLoggingEnabled = 1108,
        kNotifyLogBig = 1149,
        kLogFile = 1109,
        kViewer = 1132,
        kBrowse = 1110,
        kView = 1131,
        kEmpty = 1133,
    };

    explicit LoggingPage(IPaneLink& link, QWidget* parent = nullptr);

    void Fill(const SettingsRecord& settings);  // pane command Command::LogFill
    void Take(SettingsRecord& settings) const;  // pane command Command::LogTake

    void OnKillActive() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Values {
        int loggingEnabled = 0;
        QString logFile;
        int notifyLogBig = 0;
    };

    void Push();
    void ReadControls();
    void ShowValues();
    void ApplyEnableRule();
    void Browse();
    void ViewFile();
    void EmptyFile();
    void EmptyAfterAsking(const QString& file);  // the user said yes to emptying `file`
    void ClearViewer();

    WrapCheckBox* m_loggingEnabled;
    WrapCheckBox* m_notifyLogBig;
    QLineEdit* m_logFile;
    QPlainTextEdit* m_viewer;
    QPushButton* m_browse;
    QPushButton* m_view;
    QPushButton* m_empty;

    Values m_values;
};

}  // namespace qv
