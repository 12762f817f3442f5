#pragma once

#include <QMainWindow>
#include <QString>

#include <memory>

class QSplitter;

namespace qv {

class CInfoCtrlView;
class CInfoView;
class CQuorvaneDoc;
class DocAdapter;

// The main window: the address list above the control pane in a vertical splitter, a status bar
// and the View menu. It connects the document with the two views.
class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit CMainFrame(CQuorvaneDoc& doc, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CInfoView* InfoView() const { return m_pInfoView; }
    CInfoCtrlView* CtrlView() const { return m_pCtrlView; }
    QSplitter* Splitter() const { return m_pSplitter; }

    // The views' initial updates, after the document's start: the column layout, the settings,
    // the status line and the first refresh (posted).
    void OnInitialUpdate();
    // Shutdown: the document stores the selection, the list its layout, the pane the settings
    // and the off-line notice it owes. Runs once.
    void ShutDown();

    // The tip of the notification-area icon: "IP Address: <address>".
    void SetTrayAddress(const QString& address);
    QString TrayTip() const { return m_strTrayTip; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateMenus();

    CQuorvaneDoc& m_doc;
    std::unique_ptr<DocAdapter> m_pDocAdapter;
    QSplitter* m_pSplitter = nullptr;
    CInfoView* m_pInfoView = nullptr;
    CInfoCtrlView* m_pCtrlView = nullptr;
    QString m_strTrayTip;
    bool m_bShutDown = false;
};

}  // namespace qv
