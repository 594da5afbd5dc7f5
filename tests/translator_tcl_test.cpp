// The Tcl translator honours what the plug-in's handlers rely on.
#include <gtest/gtest.h>

#include "emuhost/translator.h"

namespace {

// A handler that leaves a string result in the record, the way the
// plug-in's handlers do.
int string_result(MomId, InterpRecord *interp, int argc, const char *argv[]) {
    static char buffer[64];
    snprintf(buffer, sizeof buffer, "%d:%s", argc, argc > 1 ? argv[1] : "");
    interp->result = buffer;
    interp->error_line = 0;
    return 0;
}

int fails(MomId, InterpRecord *interp, int, const char *[]) {
    interp->result = const_cast<char *>("stopped by handler\n");
    interp->error_line = 1;
    return 1;
}

TEST(TclTranslator, TakesTheStringResultFromTheRecord) {
    auto tcl = emuhost::make_tcl_translator();
    ASSERT_TRUE(tcl->bind("probe", string_result, nullptr));
    EXPECT_EQ(tcl->eval("set x [probe word]; string length $x").result, "6");
    EXPECT_EQ(tcl->call({"probe", "a"}).result, "2:a");
}

TEST(TclTranslator, AnErrorStopsTheScriptWithTheResultAsMessage) {
    auto tcl = emuhost::make_tcl_translator();
    ASSERT_TRUE(tcl->bind("stop", fails, nullptr));
    auto out = tcl->eval("set reached 0; catch {stop; set reached 1} message; list $reached $message");
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.result, "0 {stopped by handler\n}");
    auto direct = tcl->call({"stop"});
    EXPECT_EQ(direct.code, 1);
    EXPECT_EQ(direct.result, "stopped by handler\n");
}

TEST(TclTranslator, VariablesAndArraysAreGlobals) {
    auto tcl = emuhost::make_tcl_translator();
    tcl->set("mom_group_name", "PROGRAM_1");
    tcl->set_element("mom_labels", "0", "X");
    EXPECT_EQ(tcl->eval("list $mom_group_name $mom_labels(0)").result, "PROGRAM_1 X");
    tcl->eval("set mom_machine_name HERMLE");
    EXPECT_STREQ(tcl->get("mom_machine_name"), "HERMLE");
    EXPECT_EQ(tcl->get("mom_nothing"), nullptr);
}

}  // namespace

namespace {

TEST(TclTranslator, RefusedValuesAreReportedNotDropped) {
    auto tcl = emuhost::make_tcl_translator();
    ASSERT_TRUE(tcl->set_element("mom_labels", "0", "X"));
    EXPECT_FALSE(tcl->set("mom_labels", "scalar"));
    EXPECT_STREQ(tcl->get_element("mom_labels", "0"), "X");
}

}  // namespace
