// A command that rewrites a long numbered section is killed at random moments, many times: the
// host's file must always be either the old one or the new one, never something in between.

#include "app/settings.h"
#include "catalog/host_config.h"
#include "catalog/registration.h"
#include "ops/descriptions.h"
#include "ops/history.h"
#include "platform/profile.h"
#include "temp_prefix.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
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

// Runs `command` on `oldBytes` in `relative` once to learn the new file and the command's time,
// then 40 times in a child killed at a random moment within that time: the file must always be
// the old one or the new one.
void KillAtRandom(test::TempPrefix& prefix, const std::string& relative, const std::string& oldBytes,
                  const std::function<void()>& command) {
    prefix.Write(relative, oldBytes);
    platform::ResetProfileCache();
    auto started = std::chrono::steady_clock::now();
    command();
    auto took = std::chrono::steady_clock::now() - started;
    const std::string newBytes = prefix.Read(relative);
    ASSERT_NE(newBytes, oldBytes);
    long long spanUs = std::chrono::duration_cast<std::chrono::microseconds>(took).count() * 3 / 2 + 1000;

    std::mt19937 random(8122026);
    int killedEarly = 0;
    for (int round = 0; round < 40; ++round) {
        prefix.Write(relative, oldBytes);
        platform::ResetProfileCache();
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            command();
            _exit(0);
        }
        usleep(static_cast<useconds_t>(random() % spanUs));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::string now = prefix.Read(relative);
        ASSERT_TRUE(now == oldBytes || now == newBytes) << "round " << round << ": the file was damaged";
        killedEarly += now == oldBytes ? 1 : 0;
    }
    // The kills did land inside the command as well as after it (otherwise the test proved little).
    EXPECT_GT(killedEarly, 0);
    platform::ResetProfileCache();
}

TEST(KillDuringCommand, FileIsAlwaysOldOrNew) {
    test::TempPrefix prefix;
    AppSettings() = Settings{};
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    KillAtRandom(prefix, "drive_c/TC/wincmd.ini", LargeIni(), RunCommand);
}

TEST(KillDuringCommand, DescriptionFileIsAlwaysOldOrNew) {
    test::TempPrefix prefix;
    std::string lines;
    for (int i = 0; i < 20000; ++i)
        lines += "\"module" + std::to_string(i) + ".wlx\" a description of module number " +
                 std::to_string(i) + "\r\n";
    KillAtRandom(prefix, "drive_c/p/Descript.ion", lines,
                 [] { WriteDescription("C:\\p\\module7.wlx", "changed"); });
}

// Kills during a recorded command leave each record whole or absent: every record file there is
// reads back, and each holds the file's old and new bytes.
TEST(KillDuringCommand, HistoryRecordsAreWholeOrAbsent) {
    test::TempPrefix prefix;
    AppSettings() = Settings{};
    SetHostPaths("C:\\TC\\Totalcmd.exe", "C:\\TC\\wincmd.ini");
    prefix.Write("drive_c/Varnel/TC_varnel.ini", "");
    StartHistory("C:\\Varnel\\history");
    const std::string oldBytes = LargeIni();
    KillAtRandom(prefix, "drive_c/TC/wincmd.ini", oldBytes, [] {
        RecordedChange change("new lister");
        RunCommand();
    });
    const std::string newBytes = [&] {
        prefix.Write("drive_c/TC/wincmd.ini", oldBytes);
        platform::ResetProfileCache();
        RunCommand();
        return prefix.Read("drive_c/TC/wincmd.ini");
    }();
    size_t recordFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(prefix.Path("drive_c/Varnel/history")))
        recordFiles += entry.path().extension() == ".rec" ? 1 : 0;
    const std::vector<HistoryRecord> records = LoadHistory();
    EXPECT_EQ(records.size(), recordFiles);
    EXPECT_GE(records.size(), 1u);
    for (const HistoryRecord& record : records) {
        ASSERT_EQ(record.files.size(), 1u);
        EXPECT_EQ(record.files[0].before, oldBytes);
        EXPECT_EQ(record.files[0].after, newBytes);
    }
    StartHistory("");
}

} // namespace
} // namespace varnel
