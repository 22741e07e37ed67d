// The window and two runs of varnel change and undo the same host at once. Every write of
// wincmd.ini must have its record, in the order the writes happened (each record's bytes before
// are the previous record's bytes after), and undoing everything must give back the original.
// The rounds stay below the history's bound of records, which the final undo adds to.

#include "app/settings.h"
#include "cli_run.h"
#include "gui_host.h"
#include "ops/history.h"

#include <QTest>
#include <atomic>
#include <thread>

using namespace varnel;
using varnel::test::GuiHost;
using varnel::test::Settle;

namespace {

int Position(GuiHost& host, const std::string& part) {
    for (int r = 0; r < host.List()->rowCount(); ++r)
        if (host.RowText(r, 0).find(part) != std::string::npos)
            return r;
    return -1;
}

} // namespace

class ConcurrencyTest : public QObject {
    Q_OBJECT
private slots:
    void windowAndTwoToolsLoseNoChange() {
        GuiHost host("[Paths]\r\nTCPath=C:\\totalcmd\\TOTALCMD.EXE\r\nIniPath=C:\\totalcmd\\wincmd.ini\r\n");
        host.Open();
        const std::string original = host.WincmdIni();
        test::CliOptions options;
        options.settings = host.prefix.Path("drive_c/Varnel/TC_varnel.ini");
        std::atomic<int> crashed{0}, toolChanges{0};
        auto tool = [&](std::vector<std::vector<std::string>> steps) {
            for (int round = 0; round < 12; ++round)
                for (const std::vector<std::string>& step : steps) {
                    const test::CliRun run = test::Varnel(host.prefix, step, options);
                    crashed += run.exit < 0 || run.exit > 10 ? 1 : 0; // a conflict is an answer
                    toolChanges += run.exit == 0 ? 1 : 0;
                }
        };
        std::thread first(
            tool, std::vector<std::vector<std::string>>{
                      {"disable", "--yes", "sample_lister.wlx"}, {"enable", "sample_lister.wlx"}, {"undo"}});
        std::thread second(tool, std::vector<std::vector<std::string>>{{"tweak", "packer:smp", "smp=279"},
                                                                       {"tweak", "packer:smp", "smp=285"},
                                                                       {"undo"}});
        host.boxes.SetAnswer(kIdOk);
        for (int round = 0; round < 30; ++round) {
            host.Window().btnRefreshClick();
            host.Select({Position(host, "FS: sample_fs")});
            host.Window().btnDisableClick();
            Settle();
            if (round % 4 == 3)
                host.Action("mnuUndo")->trigger();
            Settle();
        }
        first.join();
        second.join();
        QCOMPARE(crashed.load(), 0);
        QVERIFY(toolChanges.load() >= 24);

        std::vector<std::string> skipped;
        const std::vector<HistoryRecord> records = LoadHistory(true, &skipped);
        QVERIFY(skipped.empty());
        QVERIFY(records.size() >= 50);
        std::optional<std::string> last = original;
        size_t changes = 0;
        for (const HistoryRecord& record : records) {
            QVERIFY(!record.open);
            for (const HistoryFileChange& file : record.files) {
                if (file.path != "C:\\totalcmd\\wincmd.ini")
                    continue;
                QVERIFY2(file.before == last, ("record " + std::to_string(record.id) +
                                               " does not follow the one before: a write went unrecorded")
                                                  .c_str());
                last = file.after;
                ++changes;
            }
        }
        QVERIFY(last == host.WincmdIni());
        QCOMPARE(changes, records.size());
        qInfo("%d changes by the tools, %zu records in all", toolChanges.load(), records.size());
        const test::CliRun undo = test::Varnel(host.prefix, {"undo", "10000"}, options);
        QVERIFY2(undo.exit == 0, undo.err.c_str());
        QCOMPARE(host.WincmdIni(), original);
    }
};

QTEST_MAIN(ConcurrencyTest)
#include "concurrency_test.moc"
