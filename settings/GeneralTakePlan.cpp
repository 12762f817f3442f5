#include "settings/GeneralTakePlan.h"

namespace qv {

GeneralTakePlan PlanGeneralTake(const SettingsRecord& before, const SettingsRecord& after) {
    GeneralTakePlan plan;
    const bool methodChanged = before.Method != after.Method;
    if (methodChanged) {
        plan.offerOffLineFor = before.Method;
    }
    plan.postManualSend = after.AutoForward && (!before.AutoForward || methodChanged);
    return plan;
}

}  // namespace qv
