#pragma once

namespace qv {

// Tells the service manager that started this process (NOTIFY_SOCKET, as a Type=notify unit
// sets it) `state`, e.g. "READY=1". The datagram protocol of sd_notify: one line per field on
// the Unix socket named there ("@..." for the abstract namespace). False when no manager asked
// for it or the datagram did not go out.
bool NotifyServiceManager(const char* state);

}  // namespace qv
