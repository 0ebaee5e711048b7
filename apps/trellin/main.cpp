// trellin: renders pictures through the Trellin effect module from the
// command line. Each command lives in its own file (commands.h); this file
// puts them together, parses the command line and turns failures into one
// line on standard error and an exit code.
//
// Exit codes: 0 done; 1 the effect refused the frame or the output could not
// be written; 2 a usage or input error (bad arguments, unreadable picture,
// unknown control, bad value, module not found). Every check on the
// arguments, the settings and the input runs before anything is written, and
// the output appears only complete (written beside it, then renamed).
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "apps/common/cli/command_line_errors.h"
#include "apps/trellin/commands.h"

using namespace trellin_cli;

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: reading a truncated PNG, OpenImageIO
// copies its error message in libpng's read callback, and libpng's error exit
// then jumps over that copy; the few bytes are the library's, not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:OpenImageIO_v2_4::ImageInput::geterror\n";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
#endif

int main(int argc, char** argv)
{
    CLI::App app{"trellin: renders pictures through the Trellin cell-glass effect.", "trellin"};
    app.require_subcommand(1);
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

    try {
        for (auto& [command, sub] : commands) {
            if (sub->parsed()) return command->run();
        }
    } catch (const Failure& f) {
        std::cerr << "trellin: error: " << f.message << "\n";
        return f.code;
    } catch (const std::bad_alloc&) {
        std::cerr << "trellin: error: out of memory\n";
        return exit_failed;
    } catch (const std::exception& e) {
        std::cerr << "trellin: error: " << e.what() << "\n";
        return exit_failed;
    }
    return exit_usage;
}
