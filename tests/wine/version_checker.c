/* Asks the system (here: Wine) what a module's version resource says, the way TC Varnel reads
 * it: the fixed file version, then FileDescription, ProductVersion and InternalName of the first
 * translation. One line each; texts as hex bytes so nothing is lost on the way.
 *   version_checker.exe MODULE */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static void PrintHex(const char* label, const char* text) {
    printf("%s ", label);
    for (; text && *text; ++text)
        printf("%02x", (unsigned)(unsigned char)*text);
    printf("\n");
}

int main(int argc, char** argv) {
    DWORD handle = 0, size;
    char* data;
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    DWORD* translation = NULL;
    const char* names[] = {"FileDescription", "ProductVersion", "InternalName"};
    int i;
    if (argc != 2)
        return 2;
    size = GetFileVersionInfoSizeA(argv[1], &handle);
    if (size == 0) {
        printf("none\n");
        return 0;
    }
    data = (char*)malloc(size);
    if (!data || !GetFileVersionInfoA(argv[1], 0, size, data)) {
        printf("none\n");
        return 0;
    }
    if (VerQueryValueA(data, "\\", (void**)&fixed, &length) && fixed)
        printf("fixed %u.%u.%u.%u\n", (unsigned)HIWORD(fixed->dwFileVersionMS),
               (unsigned)LOWORD(fixed->dwFileVersionMS), (unsigned)HIWORD(fixed->dwFileVersionLS),
               (unsigned)LOWORD(fixed->dwFileVersionLS));
    else
        printf("fixed\n");
    if (VerQueryValueA(data, "\\VarFileInfo\\Translation", (void**)&translation, &length) && translation &&
        length >= 4) {
        DWORD swapped = (LOWORD(*translation) << 16) | HIWORD(*translation);
        for (i = 0; i < 3; ++i) {
            char block[128];
            char* text = NULL;
            sprintf(block, "\\StringFileInfo\\%.8lx\\%s", (unsigned long)swapped, names[i]);
            if (VerQueryValueA(data, block, (void**)&text, &length) && text)
                PrintHex(names[i], text);
            else
                PrintHex(names[i], "");
        }
    } else {
        for (i = 0; i < 3; ++i)
            PrintHex(names[i], "");
    }
    free(data);
    return 0;
}
