#pragma once
// Every dialog of the program, made over the main window of a demo host, for the checks that go
// through all of them (accelerators, fitted texts). The packer dialogs ask no helper.

#include <QWidget>
#include <cstdlib>
#include <vector>

#include "ui/form_about.h"
#include "ui/form_add.h"
#include "ui/form_check.h"
#include "ui/form_history.h"
#include "ui/form_options.h"
#include "ui/form_order.h"
#include "ui/form_report.h"
#include "ui/form_tweak.h"

namespace varnel::test {

inline constexpr const char* kDemoPacker = "C:\\totalcmd\\plugins\\wcx\\sample_packer\\sample_packer.wcx";

struct NoHelper {
    NoHelper() { setenv("VARNEL_WINE", "/nonexistent/wine", 1); }
    ~NoHelper() { unsetenv("VARNEL_WINE"); }
};

struct AllDialogs {
    explicit AllDialogs(QWidget* parent)
        : options(parent), report(parent), history(parent), check(parent), about(parent),
          order(kLister, parent), tweak(kDemoPacker, parent),
          association(kDemoPacker, kPacker, "smp", false, parent),
          fsName("C:\\new\\sample_fs.wfx", kFileSystem, "Sample FS", false, parent),
          detect("C:\\new\\viewer.wlx", kLister, "EXT=\"TXT\"", true, parent) {
        fsName.setObjectName("TFormAddFs");
        detect.setObjectName("TFormAddDetect");
    }
    std::vector<QWidget*> List() {
        return {&options, &report, &history, &check, &about, &order, &tweak, &association, &fsName, &detect};
    }

    NoHelper noHelper;
    TFormOptions options;
    TFormReport report;
    TFormHistory history;
    TFormCheck check;
    TFormAbout about;
    TFormOrder order;
    TFormTweak tweak;
    TFormAdd association;
    TFormAdd fsName;
    TFormAdd detect;
};

} // namespace varnel::test
