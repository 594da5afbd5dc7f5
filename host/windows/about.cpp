// The About box of the Windows shell, for hosts that run elsewhere: recorded
// like the host's own dialogs. On Windows the plug-in calls the shell's.
#include "emuhost/host_call.h"
#include "winapi.h"

extern "C" int ShellAboutA(HWND owner, LPCSTR app, LPCSTR other, HICON icon) {
    HOST_CALL("ShellAboutA");
    if (app == nullptr) return FALSE;
    emuhost::AboutBox about;
    about.owner_given = owner != nullptr;
    about.application = app;
    if (other) about.other = other;
    about.icon_given = icon != nullptr;
    emuhost::session().dialogs().show("ShellAboutA", std::move(about));
    return TRUE;
}
