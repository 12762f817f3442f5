#pragma once

#include <QWidget>

#include "views/settings/PaneLink.h"

namespace qv {

// What the four settings pages share: commands to the control pane, the fill guard, tool tips.
//
// A page's life: InitPage() when its tab is first shown posts the fill command; OnSetActive()
// each time it becomes the active tab posts the help command; an edit of a watched control
// reads the controls into the page's own copies and posts the take command. The pane answers
// the fill and take commands by calling the page's Fill and Take.
class SettingsPage : public QWidget {
    Q_OBJECT
  public:
    struct Commands {
        Command take;
        Command fill;
        Command help;
    };

    const Commands& PaneCommands() const { return m_commands; }

    // End of the page's set-up: asks the pane to fill it.
    void InitPage();
    // The page became the active tab.
    virtual void OnSetActive();
    // The page stops being the active tab.
    virtual void OnKillActive() {}

    // Property holding a control's number.
    static constexpr const char* kControlIdProperty = "qvControlId";

  protected:
    SettingsPage(IPaneLink& link, Commands commands, QWidget* parent);

    void Post(Command command) { m_link.PostPaneCommand(command); }
    // Posts the take command unless the page is being filled.
    void PostTake();
    bool IsFilling() const { return m_filling > 0; }

    // Names `control` "ctl<id>" and routes its tool tips to the pane.
    template <class W>
    W* Control(W* control, int id) {
        RegisterControl(control, id);
        return control;
    }
    void RegisterControl(QWidget* control, int id);

    // The page's outer margin, in pixels (about half a character's height).
    int PageMargin() const;

    // While alive, the controls' change notifications do not reach the page's handlers.
    class FillScope {
      public:
        explicit FillScope(SettingsPage& page) : m_page(page) { ++m_page.m_filling; }
        ~FillScope() { --m_page.m_filling; }
        FillScope(const FillScope&) = delete;
        FillScope& operator=(const FillScope&) = delete;

      private:
        SettingsPage& m_page;
    };

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    IPaneLink& m_link;
    Commands m_commands;
    int m_filling = 0;
};

// Caption of the program's message boxes.
QString MessageCaption();

}  // namespace qv
