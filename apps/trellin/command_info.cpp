// trellin info: the node's identity and its controls; with a picture, the
// settings it was rendered with.
#include <algorithm>
#include <array>
#include <iostream>
#include <map>

#include "apps/common/core/control_meaning.h"
#include "apps/common/core/control_text.h"
#include "apps/common/core/printable_text.h"
#include "apps/common/core/project_file.h"
#include "apps/common/picture/picture_settings.h"
#include "apps/trellin/command_support.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// One row of the control list.
struct ListedControl {
    std::string index, label, kind, column, row, fallback, step, meaning, range;
};

class InfoCommand : public Command {
public:
    CLI::App* add_to(CLI::App& app) override
    {
        CLI::App* info = app.add_subcommand("info",
                                            "Show the effect's identity and its controls, or the settings "
                                            "a picture was rendered with");
        info->add_option("PICTURE", picture_, "A picture rendered by trellin: print its settings")
            ->type_name("PICTURE");
        info->footer(
            "Lists every control in creation order with its kind, panel column and row, default, step, what\n"
            "it does and the values it takes. The labels shown are the ones --set accepts (any case).\n"
            "docs/controls.md explains every control at length, with pictures.\n"
            "With PICTURE, prints how trellin rendered it (input, frame, colour spaces) and the settings\n"
            "as a project document, which --project PICTURE restores.\n"
            "\n"
            "Examples:\n"
            "  trellin info\n"
            "  trellin info glass.exr");
        return info;
    }

    int run() override
    {
        if (!picture_.empty()) return show_settings();
        NodeModule module = load_module();
        NodePtr node = create_node(module);
        const char* description = node->get_description();

        std::cout << "node type    " << module.type_name() << "\n"
                  << "UUID         " << module.uuid() << "\n"
                  << "description  " << (description != nullptr ? description : "") << "\n"
                  << "module       " << module.path() << "\n";

        CPanel panel;
        node->layout_controls(&panel);
        std::map<const CWidget*, CPanel::Placement> placed;
        for (const CPanel::Placement& p : panel.placements()) placed.emplace(p.control, p);

        const int count = node->num_controls();
        if (count == 0) {
            std::cout << "\ncontrols     none\n";
            return exit_done;
        }
        // Controls are the values one sets (as docs/controls.md and the Python
        // module count them); the panel's group headings are listed with them,
        // in creation order, but not counted.
        int values = 0, headings = 0;
        std::vector<ListedControl> rows;
        rows.push_back({"#", "label", "kind", "column", "row", "default", "step", "meaning", "range"});
        for (int i = 0; i < count; ++i) {
            const CWidget* c = node->control(i);
            if (c == nullptr) continue;
            const auto p = placed.find(c);
            const bool on_panel = p != placed.end();
            ++(c->kind() == ControlKind::label ? headings : values);
            rows.push_back({std::to_string(i), setting_label(*c), kind_name(c->kind()),
                            on_panel ? std::to_string(p->second.column) : "-",
                            on_panel ? std::to_string(p->second.row) : "-", default_text(*c), step_text(*c),
                            control_meaning(setting_label(*c)), trellin_app::range_text(*c)});
        }
        // Every column but the last is padded to its widest cell.
        const auto cells = [](const ListedControl& r) {
            return std::array{&r.index, &r.label, &r.kind, &r.column, &r.row, &r.fallback, &r.step, &r.meaning};
        };
        std::array<std::size_t, 8> width{};
        for (const ListedControl& r : rows)
            for (std::size_t k = 0; k < width.size(); ++k) width[k] = std::max(width[k], cells(r)[k]->size());
        std::cout << "\ncontrols (" << values << ", in creation order; column and row place them on the panel;\n"
                  << "set them with --set LABEL=VALUE";
        if (headings > 0)
            std::cout << ". The " << headings << " rows of kind label are the panel's group headings, not controls";
        std::cout << ")\n";
        for (const ListedControl& r : rows) {
            std::string line = "  ";
            for (std::size_t k = 0; k < width.size(); ++k)
                line += *cells(r)[k] + std::string(width[k] - cells(r)[k]->size() + 2, ' ');
            line += r.range;
            while (!line.empty() && line.back() == ' ') line.pop_back();
            std::cout << line << "\n";
        }
        return exit_done;
    }

private:
    int show_settings() const
    {
        nlohmann::json doc;
        try {
            doc = read_picture_settings(picture_);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, e.what()};
        }
        // Settings the node or the render would refuse do not repeat the render.
        try {
            const NodeModule module = load_module();
            node_from_project(module, RegV(doc), picture_);
        } catch (const ProjectError& e) {
            throw Failure{exit_usage, std::string(e.what()) + " (--project would refuse the settings it carries)"};
        }
        const nlohmann::json made = doc.value("picture", nlohmann::json::object());
        // What the picture says is text from a file: shown with its control
        // characters escaped, and a line at most a screen's width or so.
        auto text = [&made](const char* key) {
            const auto v = made.find(key);
            return printable(v == made.end()  ? std::string("?")
                             : v->is_string() ? v->get<std::string>()
                                              : v->dump(),
                             300);
        };
        std::cout << "picture      " << picture_ << "\n"
                  << "rendered by  " << text("software") << "\n"
                  << "from         " << text("input") << ", frame " << text("frame") << "\n"
                  << "colour       input " << text("colorspace_in") << ", working " << text("working_space")
                  << ", output " << text("colorspace_out") << "\n"
                  << "\nsettings (trellin render IN OUT --project " << picture_ << " --frames " << text("frame")
                  << " repeats the render)\n"
                  << printable(doc.dump(2), std::string::npos, true) << "\n";
        return exit_done;
    }

    std::string picture_;
};

}  // namespace

std::unique_ptr<Command> make_info_command()
{
    return std::make_unique<InfoCommand>();
}

}  // namespace trellin_cli
