/* A stand-in for the host program, for the demo prefix and the tests: a main window of the
 * host's window class that closes when asked (WM_CLOSE), nothing else. It is a test device of
 * this project and does nothing a file manager does. Started with "/stubborn" it ignores
 * WM_CLOSE, as a host busy asking its user something would. Each start appends its command line,
 * byte for byte, to startlog.txt beside the program, so tests can see what the host received.
 * A window the system would not make, or took away unasked (Wine's desktop can end under it), is
 * made again, and each such failure is written to standin-errors.txt beside the program, so that a
 * test can say why a host went away. */
#include <string.h>
#include <windows.h>

static int g_stubborn;
static int g_closeAsked;
#define WM_REOPEN (WM_APP + 1)

/* Appends a line to a file beside the program. */
static void AppendBeside(const char* fileName, const char* text) {
    char path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* slash;
    HANDLE file;
    DWORD written;
    if (length == 0 || length >= MAX_PATH)
        return;
    path[length] = '\0';
    slash = strrchr(path, '\\');
    if (!slash)
        return;
    strcpy(slash + 1, fileName);
    file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

static void RecordFailure(const char* what) {
    char line[160];
    wsprintfA(line, "pid %lu: %s (error %lu)", GetCurrentProcessId(), what, GetLastError());
    AppendBeside("standin-errors.txt", line);
}

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
        g_closeAsked = 1;
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (!g_closeAsked) {
            RecordFailure("the window was destroyed without being asked to close");
            PostThreadMessageA(GetCurrentThreadId(), WM_REOPEN, 0, 0);
            return 0;
        }
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

static void RecordCommandLine(void) {
    AppendBeside("startlog.txt", GetCommandLineA());
}

/* The main window, tried for a few seconds. */
static HWND OpenWindow(HINSTANCE instance, int show) {
    int attempt;
    for (attempt = 0; attempt < 40; ++attempt) {
        HWND window = CreateWindowA("TTOTAL_CMD", "Total Commander (stand-in)", WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 480, 200, NULL, NULL, instance, NULL);
        if (window) {
            ShowWindow(window, show);
            return window;
        }
        if (attempt == 0)
            RecordFailure("CreateWindow failed; trying again for ten seconds");
        Sleep(250);
    }
    RecordFailure("CreateWindow failed all the time; giving up");
    return NULL;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA windowClass;
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
    if (!RegisterClassA(&windowClass)) {
        RecordFailure("RegisterClass failed");
        return 1;
    }
    if (!OpenWindow(instance, show))
        return 1;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (message.hwnd == NULL && message.message == WM_REOPEN) {
            if (!OpenWindow(instance, SW_SHOWNORMAL))
                return 1;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
