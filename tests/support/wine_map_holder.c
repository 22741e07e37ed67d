/* Stands in for a Wine process that loaded a module: maps the file named by its last argument,
   says so with one byte on standard output, and waits until it is killed. Its name begins with
   "wine" because only such processes are asked which files they hold; the arguments before the
   file are the command line a Wine process would show (its loader and the program it runs). */
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int fd = argc > 1 ? open(argv[argc - 1], O_RDONLY) : -1;
    void* map = fd >= 0 ? mmap(0, 4096, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    char ok = map != MAP_FAILED ? '1' : '0';
    if (write(1, &ok, 1) != 1)
        return 1;
    for (;;)
        pause();
}
