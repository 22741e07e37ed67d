#include "ops/user_dialogs.h"

namespace varnel {

namespace {

class CancellingDialogs : public UserDialogs {
public:
    std::vector<std::string> OpenFiles(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> AskAssociation(const std::string&, PluginKind, const std::string&,
                                              bool) override {
        return std::nullopt;
    }
    std::optional<std::string> AskText(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool TweakPacker(const std::string&) override { return false; }
};

CancellingDialogs g_cancelling;
UserDialogs* g_current = &g_cancelling;

} // namespace

UserDialogs& Dialogs() {
    return *g_current;
}

UserDialogs* SetUserDialogs(UserDialogs* dialogs) {
    UserDialogs* previous = g_current == &g_cancelling ? nullptr : g_current;
    g_current = dialogs ? dialogs : &g_cancelling;
    return previous;
}

} // namespace varnel
