#pragma once

#include <functional>

namespace qv {

// The loss of the X display connection (the X server ended, e.g. at log-out). Qt's X11 backend
// ends the process with exit(1) from inside the event loop as soon as it finds the connection
// broken, after a warning ("The X11 connection broke ..."); the event loop never runs again and
// the objects on main's stack are never destroyed. While this object lives, a message that Qt
// reports on the main thread while the connection is broken calls `onLost` once, before Qt ends
// the process. `onLost` must do its work without the event loop. One object at a time.
class DisplayLoss {
  public:
    explicit DisplayLoss(std::function<void()> onLost);
    ~DisplayLoss();  // puts the previous message handler back
    DisplayLoss(const DisplayLoss&) = delete;
    DisplayLoss& operator=(const DisplayLoss&) = delete;

    // The application runs on an X display whose connection has broken.
    static bool ConnectionBroken();

  private:
    bool m_installed = false;
};

}  // namespace qv
