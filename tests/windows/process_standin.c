/* A test device for the Windows backend's process functions. It is run as
 *   process_standin echo ARG...        prints each argument and VARNEL_ECHO in UTF-8, a line each
 *   process_standin sleep MS           waits and ends with exit code 7
 *   process_standin hold MODULE FILE   loads the module and keeps it until FILE exists */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

static void PrintUtf8(const wchar_t* text) {
    char buffer[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (n > 0)
        fwrite(buffer, 1, (size_t)(n - 1), stdout);
    fputc('\n', stdout);
}

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY); /* lines end in "\n" alone */
    if (argc >= 2 && wcscmp(argv[1], L"echo") == 0) {
        wchar_t value[1024];
        for (int i = 2; i < argc; ++i)
            PrintUtf8(argv[i]);
        PrintUtf8(GetEnvironmentVariableW(L"VARNEL_ECHO", value, 1024) ? value : L"(unset)");
        return 0;
    }
    if (argc == 3 && wcscmp(argv[1], L"sleep") == 0) {
        Sleep((DWORD)_wtoi(argv[2]));
        return 7;
    }
    if (argc == 4 && wcscmp(argv[1], L"hold") == 0) {
        HMODULE module = LoadLibraryW(argv[2]);
        if (!module)
            return 2;
        puts("held");
        fflush(stdout);
        for (int waited = 0; waited < 30000 && GetFileAttributesW(argv[3]) == INVALID_FILE_ATTRIBUTES;
             waited += 20)
            Sleep(20);
        FreeLibrary(module);
        return 0;
    }
    return 1;
}
