/*
 * The Windows calls, types and constants the plug-in uses, with Windows'
 * values, for builds on POSIX systems. On Windows the plug-in includes
 * <windows.h> instead; nothing else in it differs between the two.
 *
 * The emulated host implements the calls on POSIX (host/windows/), keeping
 * the Windows behaviour the commands rely on (see the notes at each call).
 */
#ifndef TARVEX_WINAPI_H
#define TARVEX_WINAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned char BYTE;
typedef BYTE *LPBYTE;
typedef void *LPVOID;
typedef void *HANDLE;
typedef void *HWND;
typedef void *HICON;
typedef void *HINSTANCE;
typedef const char *LPCSTR;
typedef char *LPSTR;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

/* Access rights, share modes, creation dispositions, attributes. */
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

/* Last-error codes the stand-ins set. */
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_ENVIRONMENT 10u
#define ERROR_INVALID_DRIVE 15u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_DISK_FULL 112u
#define ERROR_INVALID_NAME 123u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_BAD_EXE_FORMAT 193u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_CANT_RESOLVE_FILENAME 1921u

/* Process creation flags the stand-in refuses, since it cannot keep them. */
#define DEBUG_PROCESS 0x00000001u
#define DEBUG_ONLY_THIS_PROCESS 0x00000002u
#define CREATE_SUSPENDED 0x00000004u

/* Show commands. */
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

/* What ShellExecuteA answers: above 32 on success, else one of these. */
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

typedef struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

/* Laid out as on Windows: 104 bytes with 8-byte pointers, 68 with 4. */
typedef struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

/* The calling thread's last-error code. */
DWORD GetLastError(void);
void SetLastError(DWORD code);

/* Opens or creates a file. The share mode is kept with advisory locks: a
 * handle that lets others read takes a shared lock, any other an exclusive
 * one, so a handle that does not share reading keeps every other open out
 * (ERROR_SHARING_VIOLATION). A file without any write permission bit is
 * read-only, as Windows sees it: opening it for writing or truncating it
 * fails with ERROR_ACCESS_DENIED, whoever the caller is. A directory
 * cannot be opened (ERROR_ACCESS_DENIED). A missing file answers
 * ERROR_FILE_NOT_FOUND, a missing folder on the way ERROR_PATH_NOT_FOUND. */
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);

/* Closes a handle of CreateFileA or CreateProcessA. */
BOOL CloseHandle(HANDLE handle);

/* Deletes a file. Fails on a directory and on a read-only file
 * (ERROR_ACCESS_DENIED), and while a handle holds the file open
 * (ERROR_SHARING_VIOLATION). */
BOOL DeleteFileA(LPCSTR path);

/* Reads one value from an INI file by the Windows rules: section and key
 * names compared without regard to (ASCII) case, blanks around names and
 * values trimmed, one pair of surrounding quotes (" or ') taken off a
 * value, CR, LF or CRLF line ends, a UTF-8 byte order mark skipped, only
 * the first section of a name and the first key of a name looked at. The
 * value (or the default, when there is none) is cut to size - 1 characters
 * and always terminated; the answer is the number of characters copied.
 * A null key lists the keys of the section (the default when there are
 * none), a null section the file's sections: each name terminated, the list
 * ended by a second terminator; a list cut short answers size - 2. A
 * relative path that does not start at the current folder (.\ or ..\), a
 * bare name or one with folders, is read from the Windows folder,
 * C:\Windows, as Windows reads it. */
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR value,
                               DWORD size, LPCSTR path);

/* Starts a program and does not wait for it. The command line is split into
 * words by the Windows C runtime's rules; the first names the program
 * (looked up in PATH when it holds no slash) unless `application` does. The
 * child runs in the caller's directory (or `directory`) and environment (or
 * `environment`, a block of NAME=VALUE texts ended by an empty one), and is
 * never left behind as a zombie. Fails, starting nothing, when the program
 * cannot be started. */
BOOL CreateProcessA(LPCSTR application, LPSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                    LPSECURITY_ATTRIBUTES thread_security, BOOL inherit_handles, DWORD flags,
                    LPVOID environment, LPCSTR directory, LPSTARTUPINFOA startup,
                    LPPROCESS_INFORMATION process);

/* The shell's default action: starts an executable file with the parameter
 * text as its arguments (split as a command line's), opens any other file,
 * folder or URL with xdg-open when that is present, and otherwise does
 * nothing (SE_ERR_NOASSOC). Answers a value above 32 on success. */
HINSTANCE ShellExecuteA(HWND window, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT show);

/* The shell's About box, recorded like the host's own dialogs. */
int ShellAboutA(HWND owner, LPCSTR app, LPCSTR other, HICON icon);

#if defined(TARVEX_CONFINED)
/* The confined build: every path must lie under `root` (absolute, no ".."
 * in it), anything else is refused as a path that names no file, and
 * processes are recorded, never started. */
void tarvex_confine_to(const char *root);
/* Whether `path` lies inside the confinement folder. */
int tarvex_path_confined(const char *path);
/* Process starts recorded since the last clear. */
unsigned long tarvex_recorded_starts(void);
void tarvex_clear_recorded_starts(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
