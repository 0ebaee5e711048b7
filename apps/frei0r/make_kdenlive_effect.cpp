// make_kdenlive_effect MODULE OUT [PRESETS LOOK...]: writes the Kdenlive
// effect description of the frei0r module, read off a node of the effect
// module MODULE (TrellinVx.node), to OUT, and the looks LOOK... (look files)
// as Kdenlive presets of the effect to PRESETS. Run by the build.
//
// A preset holds one value per parameter, so a look with keys gives its
// values at its first frame (time 0), as a still rendered with it shows.
#include <exception>
#include <filesystem>
#include <iostream>

#include "apps/common/core/control_facts.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/output_file.h"
#include "apps/common/core/project_file.h"
#include "apps/frei0r/kdenlive_effect.h"
#include "apps/frei0r/kdenlive_presets.h"

namespace {

// The node's parameters with their current values (at time 0 for keyed ones).
std::vector<trellin_frei0r::EffectEntry> entries_of(FXNode& node)
{
    std::vector<trellin_frei0r::EffectEntry> entries;
    for (const trellin_frei0r::Parameter& p : trellin_frei0r::parameters_of(node)) {
        CWidget* c = node.control(p.control_index);
        c->evaluate_at(0.0);
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        c->get_values(v);
        entries.push_back({p, {v[0], v[1], v[2]}, trellin_app::control_meaning(p.name)});
    }
    return entries;
}

void write(const std::string& path, const std::string& text)
{
    trellin_app::PendingOutput out(path);
    out.write(text);
    out.commit();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc == 4) {
        std::cerr << "usage: make_kdenlive_effect MODULE OUT [PRESETS LOOK...]\n";
        return 2;
    }
    try {
        const trellin_app::NodeModule module = trellin_app::NodeModule::open(argv[1]);
        trellin_app::NodePtr node = module.create_node();
        const char* description = node->get_description();
        const std::string text = trellin_frei0r::kdenlive_effect(
            "trellin", "Trellin cell glass",
            description != nullptr && *description != '\0' ? description
                                                           : "Refracts the picture through a grid of glass cells",
            entries_of(*node));
        // Both files are made before either is written.
        std::vector<trellin_frei0r::KdenlivePreset> presets;
        for (int i = 4; i < argc; ++i) {
            trellin_app::NodePtr look = trellin_app::load_project_file(module, argv[i]);
            presets.push_back({std::filesystem::path(argv[i]).stem().string(), entries_of(*look)});
        }
        write(argv[2], text);
        if (argc > 3) write(argv[3], trellin_frei0r::kdenlive_presets(presets));
    } catch (const std::exception& e) {
        std::cerr << "make_kdenlive_effect: error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
