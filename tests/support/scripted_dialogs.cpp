#include "scripted_dialogs.h"

namespace varnel::test {

std::vector<std::string> ScriptedDialogs::OpenFiles(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (files.empty())
        return {};
    std::vector<std::string> answer = files.front();
    files.pop_front();
    return answer;
}

std::optional<std::string> ScriptedDialogs::AskAssociation(const std::string& modulePath, int8_t,
                                                           const std::string& proposal, bool allowEmpty) {
    associationRequests.push_back({modulePath, proposal, allowEmpty});
    if (associations.empty())
        return std::nullopt;
    std::optional<std::string> answer = associations.front();
    associations.pop_front();
    return answer;
}

std::optional<std::string> ScriptedDialogs::AskText(const std::string& title, const std::string& label,
                                                    const std::string& text) {
    textRequests.push_back({title, label, text});
    if (texts.empty())
        return std::nullopt;
    std::optional<std::string> answer = texts.front();
    texts.pop_front();
    return answer;
}

bool ScriptedDialogs::TweakPacker(const std::string& modulePath) {
    tweakRequests.push_back(modulePath);
    return false;
}

CopyChoice ScriptedDialogs::AskCopyModule(const std::string& question) {
    copyQuestions.push_back(question);
    if (copyChoices.empty())
        return CopyChoice::InPlace;
    CopyChoice choice = copyChoices.front();
    copyChoices.pop_front();
    return choice;
}

} // namespace varnel::test
