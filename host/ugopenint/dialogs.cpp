// Dialogs the plug-in shows.
#include "emuhost/host_call.h"

extern "C" int uc1601(const char *text, int) {
    HOST_CALL("uc1601");
    if (text == nullptr) return emuhost::kErrInvalidArgument;
    return 0;
}
