// Open API start and end, failure texts, the system log, host memory and
// the post-processor's variables and command binding.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emuhost/fields.h"
#include "emuhost/host_call.h"

using emuhost::fill;
using emuhost::session;

namespace {

std::string mom_name(const char *name) { return std::string("mom_") + name; }

}  // namespace

extern "C" {

int UF_initialize(void) {
    HOST_CALL("UF_initialize");
    return 0;
}

int UF_terminate(void) {
    HOST_CALL("UF_terminate");
    return 0;
}

int UF_get_fail_message(int code, char message[FAIL_MESSAGE_SIZE]) {
    HOST_CALL("UF_get_fail_message");
    if (message == nullptr) return emuhost::kErrInvalidArgument;
    auto text = session().fail_text(code);
    if (!text) return emuhost::kErrNotFound;
    fill(message, FAIL_MESSAGE_SIZE, *text);
    return 0;
}

int UF_print_syslog(const char *text, logical) {
    HOST_CALL("UF_print_syslog");
    if (text == nullptr) return emuhost::kErrInvalidArgument;
    session().write_syslog(text);
    return 0;
}

void UF_free(void *data) {
    session().enter("UF_free");
    session().release(data);
}

int UF_MOM_ask_interp_from_param(void *param, InterpRecord **interp) {
    HOST_CALL("UF_MOM_ask_interp_from_param");
    if (interp == nullptr || !session().is_param(param)) return emuhost::kErrInvalidArgument;
    *interp = session().translator().record();
    return 0;
}

int UF_MOM_ask_mom(void *param, MomId *mom) {
    HOST_CALL("UF_MOM_ask_mom");
    if (mom == nullptr || !session().is_param(param)) return emuhost::kErrInvalidArgument;
    *mom = session().mom_id();
    return 0;
}

int UF_MOM_extend_xlator(MomId mom, const char *name, CommandHandler handler) {
    HOST_CALL("UF_MOM_extend_xlator");
    if (!session().is_mom(mom) || name == nullptr || handler == nullptr)
        return emuhost::kErrInvalidArgument;
    return session().translator().bind(name, handler, mom) ? 0 : emuhost::kErrCannotBind;
}

int UF_MOM_ask_string(MomId mom, const char *name, const char **value) {
    HOST_CALL("UF_MOM_ask_string");
    if (!session().is_mom(mom) || name == nullptr || value == nullptr)
        return emuhost::kErrInvalidArgument;
    const char *text = session().translator().get(mom_name(name));
    if (text == nullptr) return emuhost::kErrNotFound;
    *value = text;
    return 0;
}

int UF_MOM_ask_string_array(MomId mom, const char *name, int count, const char *texts[]) {
    HOST_CALL("UF_MOM_ask_string_array");
    if (!session().is_mom(mom) || name == nullptr || texts == nullptr || count < 0)
        return emuhost::kErrInvalidArgument;
    // Read every element before storing any, so a failed read leaves the
    // caller's array as it was.
    std::vector<const char *> found;
    for (int i = 0; i < count; ++i) {
        const char *text = session().translator().get_element(mom_name(name), std::to_string(i));
        if (text == nullptr) return emuhost::kErrNotFound;
        found.push_back(text);
    }
    for (int i = 0; i < count; ++i) texts[i] = found[static_cast<std::size_t>(i)];
    return 0;
}

int UF_MOM_ask_double_array(MomId mom, const char *name, int count, double values[]) {
    HOST_CALL("UF_MOM_ask_double_array");
    if (!session().is_mom(mom) || name == nullptr || values == nullptr || count < 0)
        return emuhost::kErrInvalidArgument;
    std::vector<double> found;
    for (int i = 0; i < count; ++i) {
        const char *text = session().translator().get_element(mom_name(name), std::to_string(i));
        if (text == nullptr) return emuhost::kErrNotFound;
        char *end = nullptr;
        errno = 0;
        double value = std::strtod(text, &end);
        while (end && *end == ' ') ++end;
        if (end == text || *end != '\0' || errno == ERANGE) return emuhost::kErrNotNumber;
        found.push_back(value);
    }
    for (int i = 0; i < count; ++i) values[i] = found[static_cast<std::size_t>(i)];
    return 0;
}

int UF_MOM_set_string(MomId mom, const char *name, const char *value) {
    HOST_CALL("UF_MOM_set_string");
    if (!session().is_mom(mom) || name == nullptr || value == nullptr)
        return emuhost::kErrInvalidArgument;
    return session().translator().set(mom_name(name), value) ? 0 : emuhost::kErrInvalidArgument;
}

int UF_MOM_set_int(MomId mom, const char *name, int value) {
    HOST_CALL("UF_MOM_set_int");
    if (!session().is_mom(mom) || name == nullptr) return emuhost::kErrInvalidArgument;
    return session().translator().set(mom_name(name), std::to_string(value))
               ? 0
               : emuhost::kErrInvalidArgument;
}

}  // extern "C"
