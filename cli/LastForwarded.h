#pragma once

#include <QString>

namespace qv {

// The address each target last took, kept across runs in the user's state folder
// ($XDG_STATE_HOME/Calvort/Quorvane-forwarded.conf), so that a one-shot check forwards only a
// change. A target is stored as a digest of its method and URL: the file holds no password.
class LastForwarded {
  public:
    explicit LastForwarded(QString path = DefaultPath()) : m_path(std::move(path)) {}

    // The address `target` (AddressWatcher::TargetKey) last took; empty when none is known.
    QString AddressOf(const QString& target) const;
    // Notes that `target` took `address`; an empty address forgets it. False when not written.
    bool Remember(const QString& target, const QString& address) const;

    static QString DefaultPath();

  private:
    QString m_path;
};

}  // namespace qv
