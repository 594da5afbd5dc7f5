// The dialogs of the host's user-interface library. Each call is recorded in
// the session's DialogHost; the modal ones are answered from its scripted
// answers. Malformed arguments (null pointers, counts or codes out of range)
// are refused with kErrInvalidArgument before anything is shown; uc1600 and
// uc1609 then return that code in place of a response.
#include <cstring>

#include "emuhost/fields.h"
#include "emuhost/host_call.h"

using emuhost::field_text;
using emuhost::fill;
using emuhost::session;

namespace {

bool valid_button(uint8_t shown, const char *label) { return shown == 0 || label != nullptr; }

emuhost::DialogButton button(uint8_t shown, const char *label, int32_t response) {
    emuhost::DialogButton out;
    out.shown = shown != 0;
    if (label) out.label = label;
    out.response = response;
    return out;
}

}  // namespace

extern "C" {

int UF_UI_message_dialog(const char *title, int type, char *lines[], int count, uint8_t translate,
                         MessageButtons *buttons, int *response) {
    HOST_CALL("UF_UI_message_dialog");
    if (title == nullptr || buttons == nullptr || response == nullptr || count < 0 ||
        (count > 0 && lines == nullptr) || type < DIALOG_ERROR || type > DIALOG_QUESTION)
        return emuhost::kErrInvalidArgument;
    for (int i = 0; i < count; ++i)
        if (lines[i] == nullptr) return emuhost::kErrInvalidArgument;
    // A dialog needs a button to be closed with, and every shown button a label.
    if (!buttons->button1 && !buttons->button2 && !buttons->button3)
        return emuhost::kErrInvalidArgument;
    if (!valid_button(buttons->button1, buttons->label1) ||
        !valid_button(buttons->button2, buttons->label2) ||
        !valid_button(buttons->button3, buttons->label3))
        return emuhost::kErrInvalidArgument;

    emuhost::MessageDialog dialog;
    dialog.title = title;
    dialog.type = type;
    for (int i = 0; i < count; ++i) dialog.lines.emplace_back(lines[i]);
    dialog.translate = translate;
    dialog.buttons = {button(buttons->button1, buttons->label1, buttons->response1),
                      button(buttons->button2, buttons->label2, buttons->response2),
                      button(buttons->button3, buttons->label3, buttons->response3)};
    const auto &record = session().dialogs().ask("UF_UI_message_dialog", std::move(dialog));
    *response = record.as<emuhost::MessageDialog>().response;
    return 0;
}

int uc1601(const char *text, int flag) {
    HOST_CALL("uc1601");
    if (text == nullptr) return emuhost::kErrInvalidArgument;
    session().dialogs().show("uc1601", emuhost::OkMessage{text, flag});
    return 0;
}

int UF_UI_display_nonmodal_msg(const char *title, const char *text, int position) {
    HOST_CALL("UF_UI_display_nonmodal_msg");
    if (title == nullptr || text == nullptr || position < MSG_AT_CURSOR || position > MSG_LEFT)
        return emuhost::kErrInvalidArgument;
    session().dialogs().show("UF_UI_display_nonmodal_msg", emuhost::InfoWindow{title, text, position});
    return 0;
}

int UF_UI_create_filebox(const char *prompt, const char *title, char *filter, char *default_name,
                         char *filename, int *response) {
    HOST_CALL("UF_UI_create_filebox");
    if (prompt == nullptr || title == nullptr || filter == nullptr || default_name == nullptr ||
        filename == nullptr || response == nullptr)
        return emuhost::kErrInvalidArgument;
    emuhost::FileBox dialog;
    dialog.prompt = prompt;
    dialog.title = title;
    dialog.filter = field_text(filter, FILEBOX_NAME_SIZE);
    // The default name is read before the chosen name is written: callers
    // may hand the same field for both.
    dialog.default_name = field_text(default_name, FILEBOX_NAME_SIZE);
    const auto &record = session().dialogs().ask("UF_UI_create_filebox", std::move(dialog));
    const auto &answered = record.as<emuhost::FileBox>();
    fill(filename, FILEBOX_NAME_SIZE, answered.filename);
    *response = answered.response;
    return 0;
}

int uc1600(char *cue, char *answer, int *length) {
    HOST_CALL("uc1600");
    if (cue == nullptr || answer == nullptr) return emuhost::kErrInvalidArgument;
    emuhost::StringInput dialog;
    dialog.cue = field_text(cue, UC1600_CUE_SIZE);
    dialog.default_text = field_text(answer, UC1600_ANSWER_SIZE);
    const auto &record = session().dialogs().ask("uc1600", std::move(dialog));
    const auto &answered = record.as<emuhost::StringInput>();
    fill(answer, UC1600_ANSWER_SIZE, answered.text);
    if (length) *length = static_cast<int>(std::strlen(answer));
    return answered.response;
}

int uc1609(const char *title, char labels[][UC1609_LABEL_SIZE], int count, double values[], int *item) {
    HOST_CALL("uc1609");
    if (title == nullptr || labels == nullptr || values == nullptr || count < 1 ||
        count > emuhost::kMaxRealItems)
        return emuhost::kErrInvalidArgument;
    emuhost::RealInput dialog;
    dialog.title = title;
    for (int i = 0; i < count; ++i) {
        dialog.labels.push_back(field_text(labels[i], UC1609_LABEL_SIZE));
        dialog.values.push_back(values[i]);
    }
    dialog.item_given = item != nullptr;
    const auto &record = session().dialogs().ask("uc1609", std::move(dialog));
    const auto &answered = record.as<emuhost::RealInput>();
    for (int i = 0; i < count; ++i) values[i] = answered.answered[static_cast<std::size_t>(i)];
    return answered.response;
}

}  // extern "C"
