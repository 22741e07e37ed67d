#include "contract_folder.h"

#include "platform/file_tree.h"
#include "platform/files.h"

#include <atomic>
#include <windows.h>

namespace varnel::test {

struct ContractFolder::State {
    std::string path;
};

ContractFolder::ContractFolder() : m_state(std::make_unique<State>()) {
    static std::atomic<int> counter{0};
    char folder[MAX_PATH + 1];
    GetTempPathA(MAX_PATH + 1, folder);
    for (;;) {
        m_state->path = std::string(folder) + "varnel contract " + std::to_string(GetCurrentProcessId()) +
                        "-" + std::to_string(counter++);
        if (platform::CreateFolder(m_state->path))
            break;
    }
}

ContractFolder::~ContractFolder() {
    platform::RemoveTree(m_state->path);
}

const std::string& ContractFolder::Path() const {
    return m_state->path;
}

} // namespace varnel::test
