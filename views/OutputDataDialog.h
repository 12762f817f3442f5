#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

#include "forwarding/UserQuestions.h"

class QCheckBox;
class QPlainTextEdit;
class QSettings;

namespace qv {

// The Output Data window: a dialog that shows a block of text (the host's reply to an HTTP
// forwarding) and can close itself 10 seconds after it opens. The choice is kept as
// "Settings/OutputAutoClose" (default 1): read when the dialog opens, written when it ends by OK
// or by its own timer, left alone by Cancel.
class OutputDataDialog : public QDialog {
    Q_OBJECT

  public:
    // `settings` holds "Settings/OutputAutoClose"; null: the program's settings file.
    OutputDataDialog(QWidget* owner, const QString& caption, QSettings* settings = nullptr);
    ~OutputDataDialog() override;

    // How long the dialog stays open before it closes itself (10000 ms); tests shorten it.
    void SetAutoClosePeriod(int ms) { m_periodMs = ms; }
    bool IsAutoCloseArmed() const { return m_closeTimer.isActive(); }

    QString m_outputText;  // set before the dialog is shown
    int m_autoClose = 0;
    QString m_caption;

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void OnInitDialog();
    void OnAutoCloseClicked();

    QSettings* m_settings;
    std::unique_ptr<QSettings> m_ownSettings;
    QCheckBox* m_autoCloseBox;
    QPlainTextEdit* m_output;
    QBasicTimer m_closeTimer;  // closes the dialog when its time is up
    int m_periodMs = 10000;
    bool m_initialised = false;
};

// Shows `text` in a OutputDataDialog owned by `owner` and returns at once; the window deletes
// itself when it closes.
OutputDataDialog* ShowOutputData(QWidget* owner, const QString& caption, const QString& text,
                                 QSettings* settings = nullptr);

// Asks for a user name and password after an authentication challenge and returns at once;
// `answer` gets them when the user has answered, nullopt on Cancel.
QDialog* AskForCredentials(QWidget* owner, const QString& server, const QString& realm,
                           UserQuestions::CredentialsAnswer answer);

}  // namespace qv
