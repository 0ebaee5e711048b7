// make_kdenlive_effect MODULE OUT: writes the Kdenlive effect description of
// the frei0r module, read off a node of the effect module MODULE
// (TrellinVx.node), to OUT. Run by the build.
#include <exception>
#include <iostream>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/output_file.h"
#include "apps/frei0r/kdenlive_effect.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_kdenlive_effect MODULE OUT\n";
        return 2;
    }
    try {
        const trellin_app::NodeModule module = trellin_app::NodeModule::open(argv[1]);
        trellin_app::NodePtr node = module.create_node();
        std::vector<trellin_frei0r::EffectEntry> entries;
        for (const trellin_frei0r::Parameter& p : trellin_frei0r::parameters_of(*node)) {
            const CWidget* c = node->control(p.control_index);
            double v[4] = {0.0, 0.0, 0.0, 0.0};
            c->get_values(v);
            entries.push_back({p, {v[0], v[1], v[2]}, trellin_app::control_meaning(p.name)});
        }
        const char* description = node->get_description();
        const std::string text = trellin_frei0r::kdenlive_effect(
            "trellin", "Trellin cell glass",
            description != nullptr && *description != '\0' ? description
                                                           : "Refracts the picture through a grid of glass cells",
            entries);
        trellin_app::PendingOutput out(argv[2]);
        out.write(text);
        out.commit();
    } catch (const std::exception& e) {
        std::cerr << "make_kdenlive_effect: error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
