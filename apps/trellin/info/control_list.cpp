#include "apps/trellin/info/control_list.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <map>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/control_text.h"
#include "apps/trellin/command_options.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

// One row of the control list.
struct ListedControl {
    std::string index, label, kind, column, row, fallback, step, meaning, range;
};

}  // namespace

int print_node_controls()
{
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

}  // namespace trellin_cli
