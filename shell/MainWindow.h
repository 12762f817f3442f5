#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

#include "shell/DesktopNotice.h"
#include "shell/TrayIcon.h"
#include "watch/WatchCore.h"

class QAction;
class QSplitter;

namespace qv {

class ControlPane;
class AddressListView;

// The program's one main window: the address list above the control pane in a splitter, a status
// bar with the command prompts, the menus, and the notification-area icon. Closing the window
// only hides it while the icon is there to bring it back; the program ends through Shut Down
// (menu bar, tray menu), a terminating signal or the end of the session, all by one road.
//
// It also keeps the fast-tips switch: while it is off, no window of the program shows tool tips.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr int kWidth = 825;
    static constexpr int kHeight = 540;

    explicit MainWindow(WatchServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    AddressListView* InfoView() const { return m_infoView; }
    ControlPane* CtrlView() const { return m_ctrlView; }
    QSplitter* Splitter() const { return m_splitter; }
    TrayIcon& Tray() { return m_tray; }

    // The views' initial updates, after the document's start: the window's stored size and
    // place, the column layout, the settings, the status line and the first refresh (posted).
    void OnInitialUpdate();

    // Runs a menu or tray command by its number.
    void OnCommand(int command);
    // Shut Down: asks whether to shut down and, on Yes, ends the program.
    void OnShutDownCommand();
    // Ends the program without asking: shuts down and leaves the event loop.
    void ExitProgram();
    // The shutdown work, once: the document stores the selection, the window its size and place,
    // the list its layout; the pane saves the settings, stops polling and sends the off-line
    // notice that is owed; the icon leaves the notification area.
    void ShutDown();
    bool IsShutDown() const { return m_shutDown; }

    // The icon's tip: "IP Address: <address>".
    void SetTrayAddress(const QString& address);
    QString TrayTip() const { return m_tray.Tip(); }

    bool FastTips() const { return m_fastTips != 0; }
    // A control of a settings page wants its tip (string = control id): shown only with fast
    // tips on.
    void RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos);

    // The help page that Help > Contents opens.
    void SetHelpPath(const QString& path) { m_helpPath = path; }
    QString HelpPath() const { return m_helpPath; }

    // The menu item of a command, null when the menus have none.
    QAction* CommandAction(int command) const;
    QWidget* AboutBox() const { return m_about; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateMenus();
    // F6 and Shift+F6: the focus goes to the next or the previous pane; of two panes, the other.
    void OnNextPane();
    void ShowAbout();
    void OnHelpContents();

    QSplitter* m_splitter = nullptr;
    AddressListView* m_infoView = nullptr;
    ControlPane* m_ctrlView = nullptr;
    DesktopNotice m_notice;  // the pane's self-closing notices
    int m_fastTips = 0;
    QIcon m_trayIcon;
    TrayIcon m_tray;
    QString m_helpPath;
    QPointer<QWidget> m_about;
    bool m_asking = false;
    bool m_exiting = false;
    bool m_shutDown = false;
};

}  // namespace qv
