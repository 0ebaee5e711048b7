#include "apps/trellin/command_line.h"

#include <CLI/CLI.hpp>

#include <OpenImageIO/oiioversion.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <new>
#include <utility>
#include <vector>

#include "apps/common/cli/command_line_errors.h"
#include "apps/common/core/environment_check.h"
#include "apps/common/core/printable_text.h"
#include "apps/common/core/software_name.h"
#include "apps/trellin/commands.h"
#include "apps/video/video_versions.h"

namespace trellin_cli {

namespace {

// A command's exit code once its report on standard output is out: a report
// that could not be written (a full disk, a closed pipe) fails the run.
int reported(int code)
{
    errno = 0;
    if (std::cout.flush() || code != exit_done) return code;
    const int err = errno;
    std::cerr << "trellin: error: standard output: the report could not be written"
              << (err != 0 ? std::string(" (") + std::strerror(err) + ")" : std::string()) << "\n";
    return exit_failed;
}

}  // namespace

int run_command_line(int argc, char** argv)
{
    CLI::App app{"trellin: renders pictures through the Trellin cell-glass effect.", "trellin"};
    app.require_subcommand(1);
    app.set_version_flag(
        "--version",
        [] {
            return trellin_app::software_name() + "\nOpenImageIO " OIIO_VERSION_STRING "\n" +
                   trellin_video::built_library_versions();
        },
        "Print the version and the libraries in use, then stop");
    app.footer(
        "Examples:\n"
        "  trellin render photo.png glass.png --set CellShape=Hexagon --set Index=1.6\n"
        "  trellin looks\n"
        "  trellin render photo.png glass.png --look frosted-chromatic\n"
        "  trellin info\n"
        "  trellin demo\n"
        "\n"
        "Exit codes: 0 done, 1 the effect refused the frame or the output could not be written,\n"
        "2 usage or input errors. An existing output file is never left half written.\n"
        "Environment: TRELLIN_MODULE names the effect module (default: TrellinVx.node beside the\n"
        "program, then ../lib/trellin/); TRELLIN_THREADS sets the default processor count;\n"
        "TRELLIN_KERNELS=reference renders with the plain reference kernels (the same pictures, slower).\n"
        "Run 'trellin COMMAND --help' for the options of a command.");

    std::vector<std::pair<std::unique_ptr<Command>, CLI::App*>> commands;
#define TRELLIN_COMMAND(name) commands.emplace_back(make_##name##_command(), nullptr);
#include "apps/trellin/command_list.h"
#undef TRELLIN_COMMAND
    for (auto& [command, sub] : commands) sub = command->add_to(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return trellin_app::report_parse_error(app, e, argc, argv, "trellin", exit_usage);
    }

    // The module would fall back on its defaults: refused here instead.
    if (const std::vector<std::string> faults = trellin_app::environment_faults(); !faults.empty()) {
        for (const std::string& fault : faults) std::cerr << "trellin: error: " << fault << "\n";
        return exit_usage;
    }
    try {
        for (auto& [command, sub] : commands) {
            if (sub->parsed()) return reported(command->run());
        }
    } catch (const Failure& f) {
        std::cerr << "trellin: error: " << trellin_app::printable(f.message) << "\n";
        return f.code;
    } catch (const std::bad_alloc&) {
        std::cerr << "trellin: error: out of memory\n";
        return exit_failed;
    } catch (const std::exception& e) {
        std::cerr << "trellin: error: " << trellin_app::printable(e.what()) << "\n";
        return exit_failed;
    }
    return exit_usage;
}

}  // namespace trellin_cli
