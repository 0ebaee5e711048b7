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

#include "node/host_api.h"

class HOST_API RegV {
public:
    RegV() = default;
    explicit RegV(nlohmann::json doc) : doc(std::move(doc)) {}

    nlohmann::json doc = nlohmann::json::object();

    // Reads a settings file. Throws RegVError naming the file and the place
    // of the fault when it cannot be read or is not a settings document.
    static RegV read_file(const std::string& path);
    // Writes the document to `path` through a temporary file beside it, so an
    // existing file survives a failed write. Throws RegVError on failure.
    void write_file(const std::string& path) const;
};

class HOST_API RegVError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Checks that every entry of `reg` names a control of `node` and holds a value
// of the right form and range. Returns an empty string when it does, else a
// message naming the first faulty entry.
HOST_API std::string regv_check(const RegV& reg, const FXNode& node);
