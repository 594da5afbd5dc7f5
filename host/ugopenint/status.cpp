// The status line.
#include "emuhost/host_call.h"

extern "C" int UF_UI_set_status(const char *text) {
    HOST_CALL("UF_UI_set_status");
    if (text == nullptr) return emuhost::kErrInvalidArgument;
    emuhost::session().write_status(text);
    return 0;
}
