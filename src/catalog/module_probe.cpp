#include "catalog/module_probe.h"

#include "catalog/module_info.h"
#include "catalog/pe_image.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace varnel {

namespace {

unsigned g_probeTimeoutMs = 15000;
// A helper that stays ends after this long without a question.
constexpr unsigned kHelperIdleMs = 60000;
// Kept answers: a bound for the unlikely, never more than the modules of a few hosts.
constexpr size_t kMaxKeptAnswers = 20000;
std::atomic<unsigned> g_helperStarts{0};

bool IsServedQuestion(std::string_view question) {
    return question == "exports" || question == "packer-caps" || question == "lister-detect" ||
           question == "content-detect" || question == "fs-root";
}

// The helpers that stay, by the words that start them, and the answers they gave, by question
// and module file.
struct ServedState {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<platform::ServingChild>> helpers;
    struct Kept {
        platform::FileStamp stamp;
        ProbeAnswer answer;
    };
    std::map<std::string, Kept> answers;
};

ServedState& Served() {
    static ServedState state;
    return state;
}

// The helper's first line when another module was still in its pause as the question began.
constexpr std::string_view kReadyPending = "ready pending";

// Whether the answer came to its "done" line.
bool AnsweredWhole(const platform::CapturedRun& run) {
    const std::string& out = run.output;
    return out.find("\ndone\n") != std::string::npos || out.find("\ndone\r\n") != std::string::npos;
}

// Asks the helper that stays for this start (starting it when there is none), once more with a
// fresh one when the helper ended by itself (a minute without questions) just as the question
// went out, or failed while a module before was still being let go. A helper is taken out of the
// set while it answers, so that a question asked meanwhile (on another thread, or from the
// window's events during the wait) gets a helper of its own.
platform::CapturedRun AskServingHelper(const std::vector<std::string>& start,
                                       const std::map<std::string, std::string>& env,
                                       const std::string& request, unsigned timeoutMs) {
    std::string key;
    for (const std::string& word : start)
        key.append(word).push_back('\0');
    for (const auto& [name, value] : env)
        key.append(name).append("=").append(value).push_back('\0');
    ServedState& state = Served();
    for (int attempt = 0;; ++attempt) {
        std::unique_ptr<platform::ServingChild> helper;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (auto idle = state.helpers.find(key); idle != state.helpers.end()) {
                helper = std::move(idle->second);
                state.helpers.erase(idle);
            }
        }
        const bool fresh = !helper || !helper->Running() || helper->EnvironmentChanged();
        if (fresh) {
            std::vector<std::string> argv = start;
            argv.push_back("serve");
            argv.push_back(std::to_string(kHelperIdleMs));
            helper = std::make_unique<platform::ServingChild>(argv, env);
            if (!helper->Started())
                return {};
            ++g_helperStarts;
        }
        platform::CapturedRun run = helper->Ask(request, "done", timeoutMs);
        // Not asked again: one that ended or was killed.
        if (helper->Running()) {
            std::lock_guard<std::mutex> guard(state.lock);
            if (std::unique_ptr<platform::ServingChild>& slot = state.helpers[key]; !slot)
                slot = std::move(helper);
        }
        // Asked again of a fresh helper: a helper that ended before it began, and one that ended
        // before the answer was whole while the module before was still being let go (that
        // module may be what failed).
        if (!fresh && !run.timedOut && !run.cancelled && attempt == 0 &&
            (run.output.empty() || (run.output.rfind(kReadyPending, 0) == 0 && !AnsweredWhole(run))))
            continue;
        return run;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

ProbeAnswer ParseAnswer(const platform::CapturedRun& run, std::string_view helper) {
    ProbeAnswer answer;
    std::string_view out = run.output;
    // The helper says "ready" before it touches the module: without it the helper itself never
    // ran, and the module is not to blame.
    std::string_view first = out.substr(0, out.find('\n'));
    if (!first.empty() && first.back() == '\r')
        first.remove_suffix(1);
    if (out.find('\n') == std::string_view::npos || (first != "ready" && first != kReadyPending)) {
        answer.kind = ProbeAnswer::Unavailable;
        answer.problem = "Wine could not run " + std::string(helper) +
                         (run.exited ? " (exit code " + std::to_string(run.exitCode) + ")" : "");
        return answer;
    }
    out.remove_prefix(out.find('\n') + 1);
    // "calling ENTRY" lines name the entry point about to run, for a fault inside it.
    constexpr std::string_view kCalling = "calling ";
    while (out.substr(0, kCalling.size()) == kCalling) {
        size_t end = out.find('\n');
        std::string_view entry =
            out.substr(kCalling.size(), end == std::string_view::npos ? end : end - kCalling.size());
        if (!entry.empty() && entry.back() == '\r')
            entry.remove_suffix(1);
        answer.lastCall = std::string(entry);
        out = end == std::string_view::npos ? std::string_view() : out.substr(end + 1);
    }
    answer.kind = ProbeAnswer::Fault;
    if (!run.exited || run.exitCode != 0)
        return answer;
    size_t end = out.find('\n');
    if (end == std::string_view::npos)
        return answer;
    std::string_view line = out.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    auto number = [&](std::string_view text) -> bool {
        std::string digits(text);
        char* stop = nullptr;
        long long value = std::strtoll(digits.c_str(), &stop, 10);
        if (digits.empty() || *stop != '\0')
            return false;
        answer.number = value;
        return true;
    };
    if (line == "noload") {
        answer.kind = ProbeAnswer::NotLoaded;
    } else if (line == "noentry") {
        answer.kind = ProbeAnswer::NoEntry;
    } else if (line.substr(0, 8) == "exports " && number(line.substr(8))) {
        answer.kind = ProbeAnswer::Exports;
    } else if (line.substr(0, 7) == "number " && number(line.substr(7))) {
        answer.kind = ProbeAnswer::Number;
    } else if (line.substr(0, 5) == "text ") {
        std::string_view hex = line.substr(5);
        if (hex.size() % 2 != 0)
            return answer;
        for (size_t i = 0; i < hex.size(); i += 2) {
            int high = HexValue(hex[i]);
            int low = HexValue(hex[i + 1]);
            if (high < 0 || low < 0)
                return answer;
            answer.text.push_back(static_cast<char>(high * 16 + low));
        }
        answer.kind = ProbeAnswer::Text;
    }
    return answer;
}

} // namespace

std::string HexBytes(std::string_view bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back("0123456789abcdef"[c >> 4]);
        hex.push_back("0123456789abcdef"[c & 15]);
    }
    return hex;
}

ProbeAnswer RunFsConfiguration(std::string_view configProgram, std::string_view modulePath,
                               std::string_view configFolder, int64_t window) {
    ProbeAnswer unavailable;
    unavailable.kind = ProbeAnswer::Unavailable;
    const ModuleFormat format = DetectModuleFormat(modulePath);
    if (format == ModuleFormat::Missing || format == ModuleFormat::Unknown) {
        ProbeAnswer notLoaded;
        notLoaded.kind = ProbeAnswer::NotLoaded;
        return notLoaded;
    }
    if (format == ModuleFormat::NativeElf) {
        // No windows here to parent the dialog.
        return AskProbe("configure-fs", modulePath, HexBytes(std::string(configFolder) + "\\fsplugin.ini"),
                        0xFFFFFFFFu);
    }
    // The module needs a helper of its own bitness: one that cannot run here is named now.
    const platform::Bitness bitness =
        ModuleMachine(modulePath) == kMachineI386 ? platform::Bitness::Bits32 : platform::Bitness::Bits64;
    if (!platform::WindowsHelperStart(bitness, &unavailable.problem))
        return unavailable;
    std::optional<platform::HelperStart> start =
        platform::WindowsHelperStart(platform::Bitness::Bits64, &unavailable.problem);
    if (!start)
        return unavailable;
    // config.exe is started as the 64-bit helper would be, under its own name.
    start->argv.back() = platform::ToHostPath(configProgram);
    // The paths cross into Windows as UTF-16, so no code page on the way can change them.
    start->argv.push_back(std::string(1, '@').append(platform::HexUtf16(modulePath)));
    start->argv.push_back(std::string(1, '@').append(platform::HexUtf16(configFolder)));
    start->argv.push_back(std::to_string(window));
    ++g_helperStarts;
    platform::CapturedRun run = platform::RunAndCapture(start->argv, start->env, 0xFFFFFFFFu);
    if (!run.started) {
        unavailable.problem = "config.exe could not be started";
        return unavailable;
    }
    if (run.cancelled) {
        ProbeAnswer cancelled;
        cancelled.kind = ProbeAnswer::Cancelled;
        return cancelled;
    }
    return ParseAnswer(run, "config.exe");
}

std::string ProbeFolder() {
    return platform::HelperFolder();
}

void SetProbeTimeoutMs(unsigned milliseconds) {
    g_probeTimeoutMs = milliseconds;
}
unsigned ProbeTimeoutMs() {
    return g_probeTimeoutMs;
}

ModuleFormat DetectModuleFormat(std::string_view path) {
    std::unique_ptr<ByteSource> file = platform::OpenFileForReading(path);
    if (!file)
        return ModuleFormat::Missing;
    char magic[4] = {};
    if (!file->Read(0, 2, magic))
        return ModuleFormat::Unknown;
    if (magic[0] == 'M' && magic[1] == 'Z')
        return ModuleFormat::WindowsPe;
    if (file->Read(0, 4, magic) && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')
        return ModuleFormat::NativeElf;
    return ModuleFormat::Unknown;
}

ProbeAnswer AskProbe(std::string_view question, std::string_view modulePath, const std::string& argument,
                     unsigned timeoutMs) {
    ProbeAnswer unavailable;
    unavailable.kind = ProbeAnswer::Unavailable;
    ProbeAnswer notLoaded;
    notLoaded.kind = ProbeAnswer::NotLoaded;

    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    switch (DetectModuleFormat(modulePath)) {
    case ModuleFormat::Missing:
    case ModuleFormat::Unknown:
        return notLoaded; // nothing a loader would accept
    case ModuleFormat::NativeElf:
        argv = {ProbeFolder() + "/tcvarnel-probe", std::string(question), platform::ToHostPath(modulePath)};
        break;
    case ModuleFormat::WindowsPe: {
        // Only a helper of the module's own bitness can load it.
        platform::Bitness bitness =
            ModuleMachine(modulePath) == kMachineI386 ? platform::Bitness::Bits32 : platform::Bitness::Bits64;
        std::optional<platform::HelperStart> helper =
            platform::WindowsHelperStart(bitness, &unavailable.problem);
        if (!helper)
            return unavailable;
        // The path crosses into Windows as UTF-16, so no code page on the way can change it.
        argv = helper->argv;
        argv.push_back(std::string(question));
        argv.push_back(std::string(1, '@').append(platform::HexUtf16(modulePath)));
        env = helper->env;
        break;
    }
    }
    if (!platform::FindOnPath(argv[0])) {
        unavailable.problem = "the helper " + argv[0] + " is missing";
        return unavailable;
    }
    const std::string helperName = argv[argv.size() - 3]; // the word before the question
    const std::string& module = argv.back();
    // VARNEL_PROBE_ONE_SHOT asks each question of a helper of its own, as a baseline to measure
    // the helper that stays against.
    static const bool oneShot = std::getenv("VARNEL_PROBE_ONE_SHOT") != nullptr;
    const bool configure = question == "configure-packer";
    const bool served = !oneShot && (IsServedQuestion(question) ? argument.empty() : configure) &&
                        argument.find_first_of(" \r\n") == std::string::npos &&
                        module.find_first_of("\r\n") == std::string::npos;
    std::optional<platform::FileStamp> stamp;
    std::string answerKey;
    if (served && !configure) {
        stamp = platform::StampOf(modulePath);
        answerKey = std::string(question).append(1, '\0').append(modulePath);
        std::lock_guard<std::mutex> guard(Served().lock);
        auto kept = Served().answers.find(answerKey);
        if (stamp && kept != Served().answers.end() && kept->second.stamp == *stamp) {
            return kept->second.answer;
        }
    }
    if (!argument.empty() && !served)
        argv.push_back(argument);
    const unsigned limit = timeoutMs ? timeoutMs : g_probeTimeoutMs;
    platform::CapturedRun run;
    if (served) {
        std::vector<std::string> start(argv.begin(), argv.end() - 2); // without question and module
        std::string request(question);
        if (configure)
            request.append(" ").append(argument);
        run = AskServingHelper(start, env, request.append(" ").append(module), limit);
    } else {
        ++g_helperStarts;
        run = platform::RunAndCapture(argv, env, limit);
    }
    if (!run.started) {
        unavailable.problem = "the helper " + argv[0] + " could not be started";
        return unavailable;
    }
    if (run.cancelled) {
        ProbeAnswer cancelled;
        cancelled.kind = ProbeAnswer::Cancelled;
        return cancelled;
    }
    ProbeAnswer answer = ParseAnswer(run, helperName);
    const bool keep = answer.kind != ProbeAnswer::Fault && answer.kind != ProbeAnswer::Unavailable &&
                      answer.kind != ProbeAnswer::Cancelled;
    // Kept only when the file is still the one asked about.
    if (served && keep && stamp && platform::StampOf(modulePath) == stamp) {
        std::lock_guard<std::mutex> guard(Served().lock);
        if (Served().answers.size() >= kMaxKeptAnswers)
            Served().answers.clear();
        Served().answers[answerKey] = {*stamp, answer};
    }
    return answer;
}

void EndProbeHelpers() {
    std::map<std::string, std::unique_ptr<platform::ServingChild>> ending;
    {
        std::lock_guard<std::mutex> guard(Served().lock);
        ending.swap(Served().helpers);
        Served().answers.clear();
    }
}

unsigned ProbeHelperStarts() {
    return g_helperStarts;
}

} // namespace varnel
