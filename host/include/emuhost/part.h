// The CAM part: objects, attributes and the part identity.
#pragma once

namespace emuhost {

class PartModel {
public:
    void reset() {}
};

}  // namespace emuhost
