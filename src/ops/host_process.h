#pragma once
// Running and restarting the host.

namespace varnel {

// Restarts the host with the configured method and waits the configured time.
void RestartHost();

} // namespace varnel
