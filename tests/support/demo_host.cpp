#include "demo_host.h"

#include "platform/process.h"

namespace varnel::test {

bool MakeDemoHost(const TempPrefix& prefix, bool realistic) {
    std::vector<std::string> argv = {VARNEL_SOURCE_DIR "/tools/make_demo_host.sh"};
    if (realistic)
        argv.push_back("--realistic");
    argv.push_back(prefix.Dir());
    argv.push_back(VARNEL_BINARY_DIR);
    platform::CapturedRun run = platform::RunAndCapture(argv, {{"USER", "me"}}, 60000);
    return run.exited && run.exitCode == 0;
}

} // namespace varnel::test
