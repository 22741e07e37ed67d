#include "mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::test {

MappedInChild::MappedInChild(const std::string& machinePath)
    : MappedInChild(machinePath, {VARNEL_MAP_HOLDER}) {}

MappedInChild::MappedInChild(const std::string& machinePath, const std::vector<std::string>& shown) {
    std::vector<char*> argv;
    for (const std::string& arg : shown)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(const_cast<char*>(machinePath.c_str()));
    argv.push_back(nullptr);
    int ready[2];
    if (pipe(ready) != 0)
        return;
    m_child = fork();
    if (m_child == 0) {
        dup2(ready[1], 1);
        execv(VARNEL_MAP_HOLDER, argv.data());
        _exit(127);
    }
    close(ready[1]);
    char ok = 0;
    m_mapped = m_child > 0 && read(ready[0], &ok, 1) == 1 && ok == '1';
    close(ready[0]);
}

MappedInChild::~MappedInChild() {
    Stop();
}

void MappedInChild::Stop() {
    if (m_child <= 0)
        return;
    kill(m_child, SIGKILL);
    waitpid(m_child, nullptr, 0);
    m_child = -1;
}

} // namespace varnel::test
