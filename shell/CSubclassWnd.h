#pragma once

class QEvent;
class QObject;

namespace qv {

// A hook on one window (any QObject): sees every event that reaches the window before the
// window's own handling. Several hooks may sit on one window; they form a chain in which the
// most recently installed hook runs first and passes events on to the one installed before it,
// and the last one to the window itself. Hooks are removed in any order. When the window is
// destroyed, all of its hooks are dropped and count as unhooked.
//
// Runs on the thread of the hooked windows (the user-interface thread).
class CSubclassWnd {
  public:
    CSubclassWnd() = default;
    virtual ~CSubclassWnd();
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // Installs this hook at the head of `window`'s chain (leaving any window it was on first).
    // With nullptr, removes this hook from its window. Always true.
    bool HookTo(QObject* window);
    // Removes this hook from its window: true when it was hooked.
    bool Unhook();

    bool IsHooked() const { return m_window != nullptr; }
    QObject* HookedWindow() const { return m_window; }

  protected:
    // Called for each event that reaches the hooked window. Return true to stop the event here.
    // The default passes the event to the next hook, or, at the end of the chain, lets the window
    // handle it.
    virtual bool HandleEvent(QEvent* event);

  private:
    friend class HookMap;

    QObject* m_window = nullptr;
    CSubclassWnd* m_next = nullptr;  // the hook installed before this one on the same window
};

}  // namespace qv
