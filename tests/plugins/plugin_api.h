/* The few declarations our sample plugins need: exports with the host's calling convention. */
#ifndef VARNEL_SAMPLE_PLUGIN_API_H
#define VARNEL_SAMPLE_PLUGIN_API_H

#include <string.h>

#ifdef _WIN32
#define PLUGIN_EXPORT __declspec(dllexport)
#define PLUGIN_CALL __stdcall
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#define PLUGIN_CALL
#endif

static inline void CopyText(char* buffer, int size, const char* text) {
    if (size <= 0)
        return;
    strncpy(buffer, text, (size_t)size - 1);
    buffer[size - 1] = '\0';
}

#endif
