#pragma once

#include "app/entry.h"

namespace varnel {

// What the command line's arguments do in this program: check the host (telling the user how to
// choose it when it is missing), restart it, install a module file.
EntryActions CommandLineActions();

// The whole program: start-up, the command line, the main window. Returns the exit code (0).
int RunProgram(int argc, char** argv);

} // namespace varnel
