// GRIP program stand-ins, run by UF_call_grip.
#pragma once

namespace emuhost {

class GripHost {
public:
    void reset() {}
};

}  // namespace emuhost
