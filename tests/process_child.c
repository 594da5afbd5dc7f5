/*
 * The child the process tests start. It writes the words it was started
 * with, argv[0] included, each followed by a NUL byte, to the file named by
 * TARVEX_CHILD_OUT; with TARVEX_CHILD_SLEEP_MS set it first sleeps that many
 * milliseconds. It writes a side file and renames it when done, so a test
 * that sees the file sees all of it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
static void pause_ms(long ms) { Sleep((DWORD)ms); }
#else
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

    char side[4096];
    snprintf(side, sizeof side, "%s.part", out);
    FILE *file = fopen(side, "wb");
    if (file == NULL) return 3;
    for (int i = 0; i < argc; i++) fwrite(argv[i], 1, strlen(argv[i]) + 1, file);
    if (fclose(file) != 0) return 4;
    remove(out);
    return rename(side, out) == 0 ? 0 : 5;
}
