#pragma once
// A fresh, empty folder for the tests both platform backends must pass, addressed by its Windows
// path and removed with everything in it at the end. On Linux it lies in a throw-away Wine-like
// prefix; on Windows in the system's temporary folder.

#include <memory>
#include <string>

namespace varnel::test {

class ContractFolder {
public:
    ContractFolder();
    ~ContractFolder();
    ContractFolder(const ContractFolder&) = delete;
    ContractFolder& operator=(const ContractFolder&) = delete;

    // The folder's Windows path, without a closing backslash.
    const std::string& Path() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace varnel::test
