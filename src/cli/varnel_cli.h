#pragma once
// varnel, the command-line tool: parses the command line and runs one command.

namespace varnel::cli {

// The exit code: 0 done, 1 failed, 2 usage or an unanswered question, 3 changed meanwhile by
// another program, 4 host or configuration not found.
int Run(int argc, char** argv);

} // namespace varnel::cli
