// momsim: runs post-processor scripts against the emulated host. One run
// takes the way options -> inputs -> run -> post -> outputs
// (docs/architecture.md).
#include <cstdio>
#include <string>
#include <vector>

#include <tcl.h>

#include "drives.h"
#include "inputs.h"
#include "locate.h"
#include "options.h"
#include "run.h"

namespace {

int usage_error(const std::string &message, bool hint) {
    std::fprintf(stderr, "momsim: %s\n", message.c_str());
    if (hint) std::fprintf(stderr, "Try 'momsim --help'.\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    // Line by line, so the plug-in's printf output and the script's puts
    // keep their order when both go to a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);

    // Tcl's encodings are needed to read the answers file.
    Tcl_FindExecutable(argv[0]);

    momsim::Options options;
    try {
        options = momsim::parse_options(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const momsim::UsageError &error) {
        return usage_error(error.what(), true);
    }
    if (options.help) {
        std::fputs(momsim::usage_text().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("momsim %s (Tcl %s)\n", MOMSIM_VERSION, TCL_PATCH_LEVEL);
        return 0;
    }

    // Drives first: the script, the plug-ins and every path after them may
    // name one.
    momsim::Inputs inputs;
    try {
        momsim::map_drives(options.drives);
        momsim::map_option_paths(options);
        inputs = momsim::read_inputs(options, options.part ? "" : momsim::find_data_file("demo_part.json"));
    } catch (const momsim::UsageError &error) {
        return usage_error(error.what(), false);
    }

    bool has_script = options.script.has_value();
    momsim::Run run(std::move(options), std::move(inputs));
    try {
        run.start(argv[0]);
    } catch (const momsim::UsageError &error) {
        return usage_error(error.what(), false);
    }
    run.exit(has_script ? run.run_script() : run.prompt());
}
