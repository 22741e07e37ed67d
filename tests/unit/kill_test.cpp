// A command that rewrites a long numbered section is killed at random moments, many times: the
// host's file must always be either the old one or the new one, never something in between.

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/registration.h"
#include "platform/profile.h"
#include "temp_prefix.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel {
namespace {

std::string LargeIni() {
    std::string ini = "[Configuration]\r\n";
    for (int i = 0; i < 2000; ++i)
        ini += "Setting" + std::to_string(i) + "=value number " + std::to_string(i) + "\r\n";
    ini += "[ListerPlugins]\r\n";
    for (int i = 0; i < 390; ++i) {
        ini += std::to_string(i) + "=C:\\TC\\plugins\\wlx\\viewer" + std::to_string(i) + "\\viewer.wlx\r\n";
        ini += std::to_string(i) + "_detect=EXT=\"X" + std::to_string(i) + "\"\r\n";
    }
    ini += "[PackerPlugins]\r\nzip=1,C:\\zip.wcx\r\n";
    return ini;
}

// The command: a new Lister at the front, so every entry moves up by one.
void RunCommand() {
    HostConfigTransaction transaction;
    InsertNumberedEntry("ListerPlugins", 0, "C:\\TC\\new.wlx", "EXT=\"NEW\"");
    transaction.Commit();
}

TEST(KillDuringCommand, FileIsAlwaysOldOrNew) {
    test::TempPrefix prefix;
    AppSettings() = Settings{};
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    const std::string oldIni = LargeIni();

    // The new file, and how long the command takes.
    prefix.Write("drive_c/TC/wincmd.ini", oldIni);
    platform::ResetProfileCache();
    auto started = std::chrono::steady_clock::now();
    RunCommand();
    auto took = std::chrono::steady_clock::now() - started;
    const std::string newIni = prefix.Read("drive_c/TC/wincmd.ini");
    ASSERT_NE(newIni, oldIni);
    long long spanUs = std::chrono::duration_cast<std::chrono::microseconds>(took).count() * 3 / 2 + 1000;

    std::mt19937 random(8122026);
    int killedEarly = 0, finished = 0;
    for (int round = 0; round < 40; ++round) {
        prefix.Write("drive_c/TC/wincmd.ini", oldIni);
        platform::ResetProfileCache();
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunCommand();
            _exit(0);
        }
        usleep(static_cast<useconds_t>(random() % spanUs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::string now = prefix.Read("drive_c/TC/wincmd.ini");
        ASSERT_TRUE(now == oldIni || now == newIni) << "round " << round << ": the file was damaged";
        (now == oldIni ? killedEarly : finished)++;
    }
    // The kills did land inside the command as well as after it (otherwise the test proved little).
    EXPECT_GT(killedEarly, 0);
    RecordProperty("killed_before_commit", killedEarly);
    RecordProperty("finished", finished);
    platform::ResetProfileCache();
}

} // namespace
} // namespace varnel
