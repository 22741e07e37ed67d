/* A stand-in for the host program, for the demo prefix and the tests: a main window of the
 * host's window class that closes when asked (WM_CLOSE), nothing else. It is a test device of
 * this project and does nothing a file manager does. Started with "/stubborn" it ignores
 * WM_CLOSE, as a host busy asking its user something would. Each start appends its command line,
 * byte for byte, to startlog.txt beside the program, so tests can see what the host received. */
#include <string.h>
#include <windows.h>

static int g_stubborn;

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const char text[] = "Total Commander stand-in of the TC Varnel demo host";
        TextOutA(dc, 12, 12, text, (int)(sizeof text - 1));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        if (g_stubborn)
            return 0;
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

static void RecordCommandLine(void) {
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* slash;
    HANDLE log;
    const char* line = GetCommandLineA();
    DWORD written;
    if (length == 0 || length >= MAX_PATH)
        return;
    path[length] = '\0';
    slash = strrchr(path, '\\');
    if (!slash)
        return;
    strcpy(slash + 1, "startlog.txt");
    log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE)
        return;
    WriteFile(log, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(log, "\r\n", 2, &written, NULL);
    CloseHandle(log);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA windowClass;
    HWND window;
    MSG message;
    (void)previous;
    RecordCommandLine();
    g_stubborn = commandLine && strstr(commandLine, "/stubborn") != NULL;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TTOTAL_CMD";
    if (!RegisterClassA(&windowClass))
        return 1;
    window = CreateWindowA("TTOTAL_CMD", "Total Commander (stand-in)", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 480, 200, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    ShowWindow(window, show);
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
