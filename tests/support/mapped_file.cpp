#include "mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::test {

MappedInChild::MappedInChild(const std::string& machinePath) {
    int ready[2];
    if (pipe(ready) != 0)
        return;
    m_child = fork();
    if (m_child == 0) {
        dup2(ready[1], 1);
        execl(VARNEL_MAP_HOLDER, VARNEL_MAP_HOLDER, machinePath.c_str(), static_cast<char*>(nullptr));
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
