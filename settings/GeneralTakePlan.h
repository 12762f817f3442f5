#pragma once

#include <optional>

#include "settings/SettingsRecord.h"

namespace qv {

// What the control pane does after taking the General page's values into the settings, besides
// refreshing the status line and re-arming or stopping the polling timer (both after every take):
// offer to withdraw what the method just left did at the host (the pane asks only when that
// method has sent something in this run), then post Command::ManualSend.
struct GeneralTakePlan {
    std::optional<ForwardMethod> offerOffLineFor;  // the method used before the change
    bool postManualSend = false;                   // forward now by the chosen method
};

// `before` is the record as it was before the take, `after` as it is now.
GeneralTakePlan PlanGeneralTake(const SettingsRecord& before, const SettingsRecord& after);

}  // namespace qv
