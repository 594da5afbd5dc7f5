// Dialogs the plug-in shows: recorded, and answered from scripted answers.
#pragma once

namespace emuhost {

class DialogHost {
public:
    void reset() {}
};

}  // namespace emuhost
