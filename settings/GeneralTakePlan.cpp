#include "settings/GeneralTakePlan.h"

namespace qv {

GeneralTakePlan PlanGeneralTake(const SettingsRecord& before, const SettingsRecord& after) {
    GeneralTakePlan plan;
    // Any non-zero UseHTTP means HTTP: a stored 2 followed by a taken 1 is no change of method.
    const bool oldHttp = before.UseHTTP;
    const bool methodChanged = oldHttp != (after.UseHTTP);
    if (methodChanged) {
        plan.offerOffLineFor = oldHttp ? GeneralTakePlan::Http : GeneralTakePlan::Ftp;
    }
    plan.postManualSend = after.AutoForward && (!before.AutoForward || methodChanged);
    return plan;
}

}  // namespace qv
