#include "contract_folder.h"

#include "platform/files.h"
#include "temp_prefix.h"

namespace varnel::test {

struct ContractFolder::State {
    TempPrefix prefix;
    std::string path = "C:\\contract";
};

ContractFolder::ContractFolder() : m_state(std::make_unique<State>()) {
    platform::CreateFolder(m_state->path);
}

ContractFolder::~ContractFolder() = default;

const std::string& ContractFolder::Path() const {
    return m_state->path;
}

} // namespace varnel::test
