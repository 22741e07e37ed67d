#include "cli/varnel_cli.h"

#include <cstdio>
#include <cstring>
#include <exception>

// What nothing inside caught (memory exhausted, a library's refusal) still ends the run with a
// failure that says what happened, and with --json with an object a script can parse.
int main(int argc, char** argv) {
    try {
        return varnel::cli::Run(argc, argv);
    } catch (const std::exception& error) {
        bool json = false;
        for (int i = 1; i < argc; ++i)
            json = json || std::strcmp(argv[i], "--json") == 0;
        std::fprintf(stderr, "varnel: %s\n", error.what());
        if (json)
            std::printf(
                "{\"ok\": false, \"code\": \"failed\", \"message\": \"internal error\", \"changes\": []}\n");
        return 1;
    }
}
