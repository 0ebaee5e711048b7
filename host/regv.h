// The saved-settings object: a node's control values (and keys) by label, held
// as a JSON document.
//
// Form of the document:
//   { "node": "Kelvoids.Trellin",
//     "controls": { "Index": 1.4, "Light Active": false, "Edge": "Wrap",
//                   "Light": [1, 1, 1, 1],
//                   "Cell Angle": { "value": 0, "keys": [[0, 0], [24, 90]] } } }
// A numeric value is a number, a boolean true/false, an option its item name,
// the colour [r, g, b, a]. A control with keys is an object with its "value"
// and its "keys" as [time, value] pairs.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "contract/host_api.h"

// Limits of a settings document. A document nested deeper, holding a number
// beyond the range of doubles or a key time beyond max_key_time is refused,
// and a file larger than max_file_bytes is not read.
namespace regv_limits {
inline constexpr int max_depth = 20;                     // a document needs 6 levels
inline constexpr long long max_file_bytes = 64LL << 20;  // 64 MiB
inline constexpr double max_key_time = 1e9;              // frames, either side of 0
}  // namespace regv_limits

class HOST_API RegV {
public:
    RegV() = default;
    explicit RegV(nlohmann::json doc) : doc(std::move(doc)) {}

    nlohmann::json doc = nlohmann::json::object();

    // Reads a settings file (a regular file within the size limit). Throws
    // RegVError naming the file and the place of the fault when it cannot be
    // read or is not a settings document.
    static RegV read_file(const std::string& path);
    // Parses the text of a settings document; faults name `name` and the
    // line and column. Nesting and numbers are checked before the text is
    // parsed, so no depth of nesting reaches the parser.
    static RegV parse(const std::string& text, const std::string& name);
    // Writes the document to `path` through a temporary file beside it, so an
    // existing file survives a failed write. Throws RegVError on failure.
    void write_file(const std::string& path) const;
};

class HOST_API RegVError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The names a control of `node` is found by in a document: every value
// control's label and an option's short label, in the node's order.
HOST_API std::vector<std::string> control_names(const FXNode& node);

// The name `control` of `node` is saved under in a document: an option's
// short label when that finds the same control again, else its label.
HOST_API std::string saved_control_name(const FXNode& node, const CWidget& control);

// A name regv_check did not know and the names it would have taken, for a
// caller that suggests the nearest.
struct RegVNameFault {
    std::string given;
    std::vector<std::string> known;
};

// Checks that every entry of `reg` names a control of `node` and holds a value
// of the right form and range (numbers within the control's range, colour
// components 0 to 1, key times finite and within max_key_time). Returns an
// empty string when it does, else a message naming the first faulty entry and
// quoting at most a short excerpt of a bad value. When the fault is an
// unknown control or item name, `name_fault` (if given) receives it.
HOST_API std::string regv_check(const RegV& reg, const FXNode& node, RegVNameFault* name_fault = nullptr);
