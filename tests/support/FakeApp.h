#pragma once

#include <QString>

#include "platform/NetTables.h"
#include "platform/Resolver.h"
#include "shell/Application.h"
#include "tests/support/FakeMachine.h"

namespace qv::test {

// Options for the application object in a test: the given network tables and name service, no
// router or echo page, its own runtime folder, and no message boxes.
inline Application::Options AppOptions(INetTables& tables, IResolver& resolver,
                                       const QString& instanceFolder) {
    Application::Options options;
    static NoPublicAddress noPublicAddress;
    options.machine = {&tables, &resolver, &noPublicAddress};
    options.instanceFolder = instanceFolder;
    options.messageBoxes = false;
    return options;
}

}  // namespace qv::test
