#include "shell/CSubclassWnd.h"

#include <QHash>
#include <QObject>

namespace qv {

// The program-wide map from a window to the head of its hook chain. It is itself the event
// filter installed on every hooked window, and it watches each window's destruction.
class HookMap : public QObject {
  public:
    static HookMap& Instance() {
        static HookMap map;
        return map;
    }

    void Install(CSubclassWnd* hook, QObject* window) {
        auto it = m_chains.find(window);
        if (it == m_chains.end()) {
            Chain chain;
            chain.head = hook;
            chain.destroyed = connect(window, &QObject::destroyed, this,
                                      [this](QObject* gone) { DropAll(gone); });
            m_chains.insert(window, chain);
            window->installEventFilter(this);
            hook->m_next = nullptr;
        } else {
            hook->m_next = it->head;
            it->head = hook;
        }
        hook->m_window = window;
    }

    void Remove(CSubclassWnd* hook) {
        QObject* window = hook->m_window;
        auto it = m_chains.find(window);
        if (it != m_chains.end()) {
            if (it->head == hook) {
                if (hook->m_next) {
                    it->head = hook->m_next;
                } else {
                    window->removeEventFilter(this);
                    disconnect(it->destroyed);
                    m_chains.erase(it);
                }
            } else {
                for (CSubclassWnd* h = it->head; h; h = h->m_next) {
                    if (h->m_next == hook) {
                        h->m_next = hook->m_next;
                        break;
                    }
                }
            }
        }
        hook->m_window = nullptr;
        hook->m_next = nullptr;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto it = m_chains.constFind(watched);
        if (it == m_chains.constEnd()) {
            return false;
        }
        return it->head->HandleEvent(event);
    }

  private:
    struct Chain {
        CSubclassWnd* head = nullptr;
        QMetaObject::Connection destroyed;
    };

    // The window's last moment: every hook on it lets go, the head first.
    void DropAll(QObject* window) {
        auto it = m_chains.find(window);
        if (it == m_chains.end()) {
            return;
        }
        CSubclassWnd* hook = it->head;
        disconnect(it->destroyed);
        m_chains.erase(it);
        while (hook) {
            CSubclassWnd* next = hook->m_next;
            hook->m_window = nullptr;
            hook->m_next = nullptr;
            hook = next;
        }
    }

    QHash<QObject*, Chain> m_chains;
};

CSubclassWnd::~CSubclassWnd() {
    Unhook();
}

bool CSubclassWnd::HookTo(QObject* window) {
    if (m_window) {
        HookMap::Instance().Remove(this);
    }
    if (window) {
        HookMap::Instance().Install(this, window);
    }
    return true;
}

bool CSubclassWnd::Unhook() {
    if (!m_window) {
        return false;
    }
    HookMap::Instance().Remove(this);
    return true;
}

bool CSubclassWnd::HandleEvent(QEvent* event) {
    return m_next ? m_next->HandleEvent(event) : false;
}

}  // namespace qv
