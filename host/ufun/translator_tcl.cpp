// The real Tcl 8.6 interpreter as the host's translator. A command handler
// has the shape of a Tcl_CmdProc, and the interpreter record's head is the
// head of Tcl's public interpreter structure, so handlers bind directly.
#include <stdexcept>

#include "emuhost/translator.h"

#ifdef EMUHOST_HAVE_TCL
#include <tcl.h>

namespace emuhost {
namespace {

static_assert(offsetof(Tcl_Interp, resultDontUse) == offsetof(InterpRecord, result),
              "interpreter record head must match Tcl's");
static_assert(offsetof(Tcl_Interp, errorLineDontUse) == offsetof(InterpRecord, error_line),
              "interpreter record head must match Tcl's");

class TclTranslator final : public Translator {
public:
    explicit TclTranslator(Tcl_Interp *interp) : interp_(interp), owned_(interp == nullptr) {
        if (owned_) {
            interp_ = Tcl_CreateInterp();
            if (Tcl_Init(interp_) != TCL_OK) {
                // Without the script library the interpreter still runs
                // commands; only library procedures are missing.
                Tcl_ResetResult(interp_);
            }
        }
    }
    ~TclTranslator() override {
        if (owned_) Tcl_DeleteInterp(interp_);
    }

    InterpRecord *record() override { return reinterpret_cast<InterpRecord *>(interp_); }

    bool bind(const std::string &name, CommandHandler handler, MomId client_data) override {
        if (name.empty() || handler == nullptr) return false;
        Tcl_Command command = Tcl_CreateCommand(
            interp_, name.c_str(), reinterpret_cast<Tcl_CmdProc *>(handler), client_data, nullptr);
        if (command == nullptr) return false;
        bool seen = false;
        for (const auto &known : order_) seen = seen || known == name;
        if (!seen) order_.push_back(name);
        return true;
    }

    std::vector<std::string> bound() const override { return order_; }

    CallResult call(const std::vector<std::string> &words) override {
        std::vector<Tcl_Obj *> objv;
        for (const auto &word : words) {
            Tcl_Obj *obj = Tcl_NewStringObj(word.data(), static_cast<int>(word.size()));
            Tcl_IncrRefCount(obj);
            objv.push_back(obj);
        }
        int code = Tcl_EvalObjv(interp_, static_cast<int>(objv.size()), objv.data(), TCL_EVAL_GLOBAL);
        for (Tcl_Obj *obj : objv) Tcl_DecrRefCount(obj);
        return collect(code);
    }

    CallResult eval(const std::string &script) override {
        return collect(Tcl_EvalEx(interp_, script.data(), static_cast<int>(script.size()),
                                  TCL_EVAL_GLOBAL));
    }

    const char *get(const std::string &name) override {
        return Tcl_GetVar2(interp_, name.c_str(), nullptr, TCL_GLOBAL_ONLY);
    }
    bool set(const std::string &name, const std::string &value) override {
        return Tcl_SetVar2(interp_, name.c_str(), nullptr, value.c_str(), TCL_GLOBAL_ONLY) != nullptr;
    }
    void unset(const std::string &name) override {
        Tcl_UnsetVar2(interp_, name.c_str(), nullptr, TCL_GLOBAL_ONLY);
    }
    const char *get_element(const std::string &array, const std::string &index) override {
        return Tcl_GetVar2(interp_, array.c_str(), index.c_str(), TCL_GLOBAL_ONLY);
    }
    bool set_element(const std::string &array, const std::string &index,
                     const std::string &value) override {
        return Tcl_SetVar2(interp_, array.c_str(), index.c_str(), value.c_str(), TCL_GLOBAL_ONLY) !=
               nullptr;
    }

    bool is_tcl() const override { return true; }

private:
    CallResult collect(int code) {
        CallResult out;
        out.code = code;
        out.result = Tcl_GetStringResult(interp_);
        out.error_line = record()->error_line;
        return out;
    }

    Tcl_Interp *interp_;
    bool owned_;
    std::vector<std::string> order_;
};

}  // namespace

bool have_tcl() { return true; }

std::unique_ptr<Translator> make_tcl_translator(void *tcl_interp) {
    return std::make_unique<TclTranslator>(static_cast<Tcl_Interp *>(tcl_interp));
}

}  // namespace emuhost

#else

namespace emuhost {

bool have_tcl() { return false; }

std::unique_ptr<Translator> make_tcl_translator(void *) {
    throw std::runtime_error("this build of the emulated host has no Tcl translator");
}

}  // namespace emuhost

#endif
