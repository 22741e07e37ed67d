/* A module with nothing in it, for a process to hold loaded. */
#include <windows.h>

__declspec(dllexport) int HeldModuleAnswer(void) {
    return 42;
}
