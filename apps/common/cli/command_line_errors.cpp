#include "apps/common/cli/command_line_errors.h"

#include <cctype>
#include <iostream>

#include "apps/common/core/nearest_name.h"
#include "host/value_excerpt.h"

namespace trellin_app {

namespace {

// The long option names ("--frames") of `app` and the commands it lies in.
std::vector<std::string> long_options(const std::vector<CLI::App*>& chain)
{
    std::vector<std::string> names;
    for (const CLI::App* level : chain) {
        for (const CLI::Option* option : level->get_options()) {
            for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
        }
    }
    return names;
}

bool is_negative_number(const std::string& token)
{
    return token.size() > 1 && token[0] == '-' &&
           (std::isdigit(static_cast<unsigned char>(token[1])) != 0 || token[1] == '.');
}

}  // namespace

std::string unknown_name_message(CLI::App& app, const std::vector<std::string>& args)
{
    std::vector<CLI::App*> chain{&app};
    for (const std::string& token : args) {
        if (token == "--") break;
        if (token.rfind("--", 0) == 0) {
            const std::string name = token.substr(0, token.find('='));
            const std::vector<std::string> known = long_options(chain);
            bool found = false;
            for (const std::string& k : known) found = found || k == name;
            if (!found) return "unknown option \"" + host_detail::excerpt(name) + "\"" + did_you_mean(name, known);
            continue;
        }
        if (token.empty() || (token[0] == '-' && !is_negative_number(token))) continue;
        // A word: a command where the current level expects one.
        CLI::App* level = chain.back();
        const std::vector<CLI::App*> commands = level->get_subcommands([](CLI::App*) { return true; });
        if (commands.empty()) continue;
        CLI::App* chosen = nullptr;
        std::vector<std::string> names;
        for (CLI::App* c : commands) {
            names.push_back(c->get_name());
            if (c->check_name(token)) chosen = c;
        }
        if (chosen == nullptr)
            return "unknown command \"" + host_detail::excerpt(token) + "\"" + did_you_mean(token, names);
        chain.push_back(chosen);
    }
    return {};
}

int report_parse_error(CLI::App& app, const CLI::ParseError& e, int argc, const char* const* argv,
                       const std::string& program, int usage_code)
{
    // --help prints the help text, to standard output.
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::string message = unknown_name_message(app, args);
    if (message.empty()) message = e.what();
    std::cerr << program << ": error: " << message << "\n";
    return usage_code;
}

}  // namespace trellin_app
