#pragma once
// The Options dialog's choices, taken over as one command.

#include "ops/command.h"

namespace varnel {

// Makes the plugin folders the choices name on a drive, then lets the program's settings take the
// choices and registers the plugin file types when they ask for it. A folder that cannot be made
// fails the command (said, with the folder): the folders made before it go again and the settings
// stay as they were.
Result ApplyOptions(const Context& context, const Settings& chosen);

} // namespace varnel
