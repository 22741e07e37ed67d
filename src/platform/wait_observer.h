#pragma once
// The observer that SetWaitObserver installs, for the waits of both platforms' process functions.

#include "platform/process.h"

namespace varnel::platform::detail {

WaitObserver& CurrentWaitObserver();

} // namespace varnel::platform::detail
