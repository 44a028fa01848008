/* Test helper: holds a file open without delete sharing until its input ends. */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 1;
    printf("held\n");
    fflush(stdout);
    char c;
    DWORD n = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, NULL) && n == 1) {
    }
    CloseHandle(h);
    return 0;
}
