// Used at the top of every emulated Open API function: records the call and
// applies a fault that a test injected for it.
#pragma once

#include "emuhost/session.h"

#define HOST_CALL(name)                                                    \
    do {                                                                   \
        if (auto injected_ = ::emuhost::session().enter(name)) return *injected_; \
    } while (0)
