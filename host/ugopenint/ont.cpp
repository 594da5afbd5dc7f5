// The Operation Navigator's selection.
#include "emuhost/host_call.h"

using emuhost::session;

// Hands out the selected objects in host memory that the caller releases
// with UF_free; with nothing selected there is no array.
extern "C" int UF_UI_ONT_ask_selected_nodes(int *count, tag_t **objects) {
    HOST_CALL("UF_UI_ONT_ask_selected_nodes");
    if (count == nullptr || objects == nullptr) return emuhost::kErrInvalidArgument;
    *count = 0;
    *objects = nullptr;
    const auto &selected = session().part().selection();
    if (selected.empty()) return 0;
    auto *array = static_cast<tag_t *>(session().allocate(selected.size() * sizeof(tag_t)));
    for (std::size_t i = 0; i < selected.size(); ++i) array[i] = selected[i];
    *objects = array;
    *count = static_cast<int>(selected.size());
    return 0;
}
