#include "ops/host_process.h"

namespace varnel {

// Restarting comes with host process control; until then an install asks for nothing more.
void RestartHost() {}

} // namespace varnel
