/*
 * The Windows calls, types and constants the plug-in uses, with Windows'
 * values, for builds on POSIX systems. On Windows the plug-in includes
 * <windows.h> instead; nothing else in it differs between the two.
 */
#ifndef TARVEX_WINAPI_H
#define TARVEX_WINAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef uint32_t DWORD;
typedef void *HANDLE;
typedef void *HWND;
typedef void *HICON;
typedef void *HINSTANCE;
typedef const char *LPCSTR;
typedef char *LPSTR;

#define TRUE 1
#define FALSE 0

/* The shell's About box. On POSIX the emulated host provides it, since it
 * is a dialog the host records like its own. */
int ShellAboutA(HWND owner, LPCSTR app, LPCSTR other, HICON icon)
    __attribute__((visibility("default")));

#ifdef __cplusplus
}
#endif

#endif
