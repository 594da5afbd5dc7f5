// Texts between the system's encoding (the command line, the plug-in's
// texts, files) and Tcl's UTF-8.
#pragma once

#include <string>

#include <tcl.h>

namespace momsim {

// A text in the system encoding as UTF-8.
inline std::string to_utf8(const std::string &text) {
    Tcl_DString converted;
    Tcl_ExternalToUtfDString(nullptr, text.data(), static_cast<int>(text.size()), &converted);
    std::string out(Tcl_DStringValue(&converted), static_cast<std::size_t>(Tcl_DStringLength(&converted)));
    Tcl_DStringFree(&converted);
    return out;
}

// A text in the system encoding as a new Tcl value.
inline Tcl_Obj *text_obj(const std::string &text) {
    std::string utf = to_utf8(text);
    return Tcl_NewStringObj(utf.data(), static_cast<int>(utf.size()));
}

// A Tcl value in the system encoding. Plain ASCII, the usual case in NC
// output, is taken as it is.
inline std::string to_native(Tcl_Obj *text) {
    int length = 0;
    const char *utf = Tcl_GetStringFromObj(text, &length);
    bool plain = true;
    for (int i = 0; i < length && plain; ++i) plain = static_cast<unsigned char>(utf[i]) < 0x80;
    if (plain) return std::string(utf, static_cast<std::size_t>(length));
    Tcl_DString converted;
    Tcl_UtfToExternalDString(nullptr, utf, length, &converted);
    std::string out(Tcl_DStringValue(&converted), static_cast<std::size_t>(Tcl_DStringLength(&converted)));
    Tcl_DStringFree(&converted);
    return out;
}

// What Tcl says of a failure: the error's stack (-errorinfo), or the
// result where there is none.
inline std::string error_info(Tcl_Interp *interp, int code) {
    Tcl_Obj *options = Tcl_GetReturnOptions(interp, code);
    Tcl_IncrRefCount(options);
    Tcl_Obj *key = Tcl_NewStringObj("-errorinfo", -1);
    Tcl_IncrRefCount(key);
    Tcl_Obj *info = nullptr;
    Tcl_DictObjGet(nullptr, options, key, &info);
    std::string text = info ? Tcl_GetString(info) : Tcl_GetStringResult(interp);
    Tcl_DecrRefCount(key);
    Tcl_DecrRefCount(options);
    return text;
}

}  // namespace momsim
