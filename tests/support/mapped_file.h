#pragma once
// A child process that keeps a file mapped, as a Wine program that loaded the file does; the file
// then counts as held by another process until the child is stopped.

#include <string>
#include <sys/types.h>
#include <vector>

namespace varnel::test {

class MappedInChild {
public:
    explicit MappedInChild(const std::string& machinePath);
    // The child shows the command line `shown` (its loader and program) before the file.
    MappedInChild(const std::string& machinePath, const std::vector<std::string>& shown);
    ~MappedInChild();
    MappedInChild(const MappedInChild&) = delete;
    MappedInChild& operator=(const MappedInChild&) = delete;

    bool Mapped() const { return m_mapped; }
    void Stop();

private:
    pid_t m_child = -1;
    bool m_mapped = false;
};

} // namespace varnel::test
