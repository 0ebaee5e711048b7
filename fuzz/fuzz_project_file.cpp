// Project files: the text of a settings document through the reader, the
// check against a node and the node's FXNode_load. Properties: no input
// crashes any of them, and a node restored from a document that passed the
// check saves a document that passes it again.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_node.h"
#include "host/regv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trellin_fuzz;
    RegV reg;
    try {
        reg = RegV::parse(std::string(reinterpret_cast<const char*>(data), size), "fuzz.json");
    } catch (const RegVError&) {
        return 0;
    }
    const NodeHandle probe = new_node();
    RegVNameFault name_fault;
    const std::string fault = regv_check(reg, *probe, &name_fault);
    const NodeHandle loaded = loaded_node(reg);
    if (!fault.empty()) return 0;
    RegV saved;
    if (!loaded->reg_save(saved)) broken("a restored node did not save");
    const std::string again = regv_check(saved, *probe);
    if (!again.empty()) broken("a saved document does not check:", again);
    return 0;
}
