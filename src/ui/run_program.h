#pragma once

namespace varnel {

// The whole program: start-up, the command line, the main window. Returns the exit code (0).
int RunProgram(int argc, char** argv);

} // namespace varnel
