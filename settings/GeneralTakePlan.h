#pragma once

#include <optional>

#include "settings/InfoCtrlSettings.h"

namespace qv {

// What the control pane does after taking the General page's values into the settings, in this
// order: refresh the status line; re-arm or stop the polling timer; offer to withdraw what the
// method just left did at the host (the pane asks only when that method has sent something in
// this run); post kCmdManualSend.
struct GeneralTakePlan {
    enum Method { Ftp = 0, Http = 1 };

    bool refreshPreview = true;
    bool pollTimerOn = false;               // start or restart timer kTimerPoll, else kill it
    int pollPeriodMs = 0;                   // CheckTime minutes, when pollTimerOn
    std::optional<Method> offerOffLineFor;  // the method used before the change
    bool postManualSend = false;            // forward now by the chosen method
};

// `before` is the record as it was before the take, `after` as it is now.
GeneralTakePlan PlanGeneralTake(const InfoCtrlSettings& before, const InfoCtrlSettings& after);

}  // namespace qv
