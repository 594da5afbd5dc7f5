/*
 * The child the process tests start. It writes the words it was started
 * with, argv[0] included, each followed by a NUL byte, to the file named by
 * TARVEX_CHILD_OUT; with TARVEX_CHILD_SLEEP_MS set it first sleeps that many
 * milliseconds. It writes a side file and renames it when done, so a test
 * that sees the file sees all of it.
 *
 * With TARVEX_CHILD_ABOUT set it first writes there what it was started
 * with besides its words: its current folder, and whether the handle (or
 * descriptor) numbered TARVEX_CHILD_HANDLE is open in it, as the size of
 * the file behind it (-1 when it is not open).
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
static void pause_ms(long ms) { Sleep((DWORD)ms); }
static int current_folder(char *folder, size_t size)
{
    DWORD length = GetCurrentDirectoryA((DWORD)size, folder);
    return length > 0 && length < size;
}
static long long handle_size(const char *number)
{
    HANDLE handle = (HANDLE)(uintptr_t)strtoull(number, NULL, 10);
    LARGE_INTEGER size;
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags) || !GetFileSizeEx(handle, &size)) return -1;
    return (long long)size.QuadPart;
}
#else
#include <sys/stat.h>
#include <unistd.h>
static int current_folder(char *folder, size_t size) { return getcwd(folder, size) != NULL; }
static long long handle_size(const char *number)
{
    struct stat info;
    if (fstat(atoi(number), &info) != 0) return -1;
    return (long long)info.st_size;
}
#include <time.h>
static void pause_ms(long ms)
{
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}
#endif

int main(int argc, char **argv)
{
    const char *out = getenv("TARVEX_CHILD_OUT");
    if (out == NULL || strlen(out) > 4000) return 2;
    const char *sleep_ms = getenv("TARVEX_CHILD_SLEEP_MS");
    if (sleep_ms != NULL) pause_ms(atol(sleep_ms));

    const char *about = getenv("TARVEX_CHILD_ABOUT");
    if (about != NULL && about[0] != '\0') {
        char folder[4096];
        const char *handle = getenv("TARVEX_CHILD_HANDLE");
        FILE *report = fopen(about, "wb");
        if (report == NULL || !current_folder(folder, sizeof folder)) return 6;
        fprintf(report, "folder=%s\nhandle=%lld\n", folder,
                handle != NULL && handle[0] != '\0' ? handle_size(handle) : -1LL);
        if (fclose(report) != 0) return 7;
    }

    char side[4096];
    snprintf(side, sizeof side, "%s.part", out);
    FILE *file = fopen(side, "wb");
    if (file == NULL) return 3;
    for (int i = 0; i < argc; i++) fwrite(argv[i], 1, strlen(argv[i]) + 1, file);
    if (fclose(file) != 0) return 4;
    remove(out);
    return rename(side, out) == 0 ? 0 : 5;
}
