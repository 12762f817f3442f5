#include "settings/SettingsSaver.h"

namespace qv {

SettingsSaver::SettingsSaver(std::function<bool()> save, QObject* parent, int delayMs)
    : QObject(parent), m_save(std::move(save)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, &SettingsSaver::SaveNow);
}

SettingsSaver::SettingsSaver(const SettingsRecord& settings, const int& hideOnStartup,
                             QObject* parent, int delayMs)
    : SettingsSaver([&settings, &hideOnStartup] { return SaveSettings(settings, hideOnStartup); },
                    parent, delayMs) {}

void SettingsSaver::Schedule() {
    m_timer.start();
}

bool SettingsSaver::Flush() {
    if (!m_timer.isActive()) {
        return true;
    }
    m_timer.stop();
    return SaveNow();
}

bool SettingsSaver::SaveNow() {
    const bool ok = m_save();
    emit Saved(ok);
    return ok;
}

}  // namespace qv
