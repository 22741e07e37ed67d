#pragma once
// The health check: what is wrong in the host's plugin configuration, each finding with its reason
// and the repair it offers; the repairs the user picks run as one change.

#include "ops/command.h"

#include <string>
#include <vector>

namespace varnel {

struct HealthFinding {
    enum class Kind {
        MissingModule,        // a registration whose module file is gone
        WrongBitness,         // a module the host cannot load
        Duplicate,            // one module registered twice in one kind
        DeadPackerExtensions, // packer extensions whose module is gone
        OrphanDetect,         // "N_detect" without "N"
        DeadDisabled,         // a disabled entry whose module is gone
        LeftoverInstallTmp,   // the scratch folder of an archive install that was stopped
        NotInstalled,         // a module in a plugin folder that no registration names
        BadDetect,            // a detect string that does not parse
    };
    Kind kind = Kind::MissingModule;
    std::string text;   // why, in the user's language
    std::string repair; // what the repair does, in the user's language
    bool repairable = false;
    bool safe = false; // applied by "fix" without asking: dead registrations and orphaned keys
    // What the repair works on: a section and its keys, or a path.
    std::string section;
    std::vector<std::string> keys;
    std::string path;
};

// Looks at the host's configuration and plugin folders as they are now.
std::vector<HealthFinding> CheckHostHealth(const Context& context);

// Runs the repairs of the findings given (the unrepairable ones are passed over): the edits of the
// host's file in one step, recorded in the history as one change; installs as the user answers
// them; an install that is not done leaves everything as it was.
Result RepairFindings(const Context& context, const std::vector<HealthFinding>& picked);

} // namespace varnel
