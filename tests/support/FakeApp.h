#pragma once

#include <QString>

#include "platform/NetTables.h"
#include "platform/Resolver.h"
#include "shell/CQuorvaneApp.h"

namespace qv::test {

// Options for the application object in a test: the given network tables and name service, its
// own runtime folder, and no message boxes.
inline CQuorvaneApp::Options AppOptions(INetTables& tables, IResolver& resolver,
                                        const QString& instanceFolder) {
    CQuorvaneApp::Options options;
    options.tables = &tables;
    options.resolver = &resolver;
    options.instanceFolder = instanceFolder;
    options.messageBoxes = false;
    return options;
}

}  // namespace qv::test
