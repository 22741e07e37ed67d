/* A module with one entry point of a packer plugin, for a process to hold loaded and for the
 * helpers to ask, built for both bitnesses. */
#include <windows.h>

__declspec(dllexport) int WINAPI GetPackerCaps(void) {
    return 285;
}
