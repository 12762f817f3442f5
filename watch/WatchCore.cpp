#include "watch/WatchCore.h"

#include <cstdlib>

namespace qv {

WatchCore::WatchCore(UserQuestions& questions, WatchServices services)
    : m_profile(OpenSettings()),
      m_list(services.tables ? *services.tables : DefaultNetTables(),
             services.resolver ? *services.resolver : DefaultResolver(), DefaultClock(),
             services.publicQueries ? *services.publicQueries : DefaultPublicAddressQueries()),
      m_watcher(questions) {
    m_list.SetProfile(m_profile.get());
    m_list.OnNewDocument();
    m_watcher.SetDocument(&m_document);
    m_watcher.ListenTo(&m_list);
    if (const char* minute = std::getenv("QV_POLL_MINUTE_MS")) {
        m_watcher.SetMinuteMs(std::atoi(minute));
    }
}

SettingsRecord& WatchCore::ReadSettings() {
    LoadSettings(m_watcher.Settings());
    return m_watcher.Settings();
}

}  // namespace qv
