#include "demo_host.h"

#include "platform/process.h"

namespace varnel::test {

bool MakeDemoHost(const TempPrefix& prefix) {
    platform::CapturedRun run = platform::RunAndCapture(
        {VARNEL_SOURCE_DIR "/tools/make_demo_host.sh", prefix.Dir(), VARNEL_BINARY_DIR}, {}, 60000);
    return run.exited && run.exitCode == 0;
}

} // namespace varnel::test
