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
        int fd = open(machinePath.c_str(), O_RDONLY);
        void* map = fd >= 0 ? mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
        char ok = map != MAP_FAILED ? '1' : '0';
        if (write(ready[1], &ok, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    m_mapped = m_child > 0 && read(ready[0], &ok, 1) == 1 && ok == '1';
    close(ready[0]);
    close(ready[1]);
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
