#pragma once
// Dialog answers given in advance, and a record of every dialog a command opened.

#include <deque>
#include <string>
#include <vector>

#include "lang/interaction.h"

namespace varnel::test {

class ScriptedDialogs : public Interaction {
public:
    // Answers, used in order; a dialog without an answer left is cancelled.
    std::deque<std::vector<std::string>> files;
    std::deque<std::optional<std::string>> associations;
    std::deque<std::optional<std::string>> texts;
    std::deque<CopyChoice> copyChoices; // none left: where it lies

    // What was asked.
    std::vector<FileDialogRequest> fileRequests;
    struct AssociationRequest {
        std::string module, proposal;
        bool allowEmpty;
    };
    std::vector<AssociationRequest> associationRequests;
    struct TextRequest {
        std::string title, label, text;
    };
    std::vector<TextRequest> textRequests;
    std::vector<std::string> tweakRequests; // the packer dialog is cancelled
    std::vector<std::string> copyQuestions;

    std::vector<std::string> OpenFiles(const FileDialogRequest& request) override;
    std::optional<std::string> AskAssociation(const std::string& modulePath, int8_t kind,
                                              const std::string& proposal, bool allowEmpty) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                       const std::string& text) override;
    bool TweakPacker(const std::string& modulePath) override;
    CopyChoice AskCopyModule(const std::string& question) override;
};

} // namespace varnel::test
