#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

#include "settings/SettingsRecord.h"

namespace qv {

// Writes the settings shortly after the last change, so that a crash loses at most the last
// moment's edits. The control pane calls Schedule() after each take from a page; a burst of
// keystrokes ends in one write.
class SettingsSaver : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultDelayMs = 1500;

    // `save` writes the record and reports whether it worked.
    explicit SettingsSaver(std::function<bool()> save, QObject* parent = nullptr,
                           int delayMs = kDefaultDelayMs);
    // Saves `settings` and `hideOnStartup` with SaveSettings; both must outlive the saver.
    SettingsSaver(const SettingsRecord& settings, const int& hideOnStartup,
                  QObject* parent = nullptr, int delayMs = kDefaultDelayMs);

    // (Re)starts the delay; the write happens when it runs out.
    void Schedule();
    // Writes now if a write is waiting. False only when that write failed.
    bool Flush();
    // Drops the waiting write, for an owner that writes the settings itself.
    void Cancel() { m_timer.stop(); }
    bool IsPending() const { return m_timer.isActive(); }

  signals:
    // After each write; `ok` is false when the file could not be written.
    void Saved(bool ok);

  private:
    bool SaveNow();

    std::function<bool()> m_save;
    QTimer m_timer;
};

}  // namespace qv
