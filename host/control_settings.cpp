// Saving and restoring a node's control values (and keys) as a settings
// document, and the strict check of such a document against a node.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "host/regv.h"
#include "host/text_match.h"
#include "host/value_excerpt.h"

using nlohmann::json;

namespace {

// A control's entry as read from a document.
struct Entry {
    double value[4] = {0.0, 0.0, 0.0, 0.0};
    bool has_value = false;
    bool has_keys = false;
    std::vector<ControlKey> keys;
};

std::string as_json_text(const std::string& text)
{
    return json(host_detail::excerpt(text)).dump();
}

// A value as a message quotes it: at most a short excerpt.
std::string shown(const json& j)
{
    return host_detail::json_excerpt(j);
}

// The name a control is saved under: an option's short label when that finds
// the same control again, else the full label.
std::string saved_name(const FXNode& node, const CWidget& c)
{
    if (c.kind() == ControlKind::option) {
        std::string s = static_cast<const COption&>(c).short_label();
        if (node.find_control(s) == &c) return s;
    }
    return c.label();
}

json value_json(const CWidget& c, const double* v)
{
    switch (c.kind()) {
    case ControlKind::numeric:
        return v[0];
    case ControlKind::boolean:
        return v[0] != 0.0;
    case ControlKind::option: {
        const auto& items = static_cast<const COption&>(c).items();
        const int i = static_cast<int>(v[0]);
        if (i >= 0 && static_cast<std::size_t>(i) < items.size()) return items[static_cast<std::size_t>(i)];
        return i;
    }
    case ControlKind::color:
        return json::array({v[0], v[1], v[2], v[3]});
    case ControlKind::label:
        break;
    }
    return nullptr;
}

// Reads one value in the control's form into `out`. On a fault, `fault` says
// what was wrong and the result is false; an unknown item name also goes to
// `name_fault` when given.
bool parse_value(const CWidget& c, const json& j, double* out, std::string& fault, RegVNameFault* name_fault = nullptr)
{
    switch (c.kind()) {
    case ControlKind::numeric:
        if (!j.is_number() || !std::isfinite(j.get<double>())) {
            fault = "expected a number, found " + shown(j);
            return false;
        }
        out[0] = j.get<double>();
        return true;
    case ControlKind::boolean:
        if (!j.is_boolean()) {
            fault = "expected true or false, found " + shown(j);
            return false;
        }
        out[0] = j.get<bool>() ? 1.0 : 0.0;
        return true;
    case ControlKind::option: {
        if (!j.is_string()) {
            fault = "expected an item name, found " + shown(j);
            return false;
        }
        const std::string name = j.get<std::string>();
        const auto& items = static_cast<const COption&>(c).items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] == name) {
                out[0] = static_cast<double>(i);
                return true;
            }
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (host_detail::same_text_ignoring_case(items[i], name)) {
                out[0] = static_cast<double>(i);
                return true;
            }
        }
        std::string list;
        for (const auto& item : items) list += (list.empty() ? "" : ", ") + item;
        fault = "unknown item " + as_json_text(name) + " (items: " + list + ")";
        if (name_fault != nullptr) *name_fault = {name, items};
        return false;
    }
    case ControlKind::color: {
        const auto finite = [](const json& v) { return v.is_number() && std::isfinite(v.get<double>()); };
        if (!j.is_array() || j.size() != 4 || !std::all_of(j.begin(), j.end(), finite)) {
            fault = "expected [red, green, blue, alpha], found " + shown(j);
            return false;
        }
        for (int i = 0; i < 4; ++i) out[i] = j[static_cast<std::size_t>(i)].get<double>();
        return true;
    }
    case ControlKind::label:
        break;
    }
    fault = "holds no value";
    return false;
}

bool parse_entry(const CWidget& c, const json& j, Entry& e, std::string& fault, RegVNameFault* name_fault = nullptr)
{
    if (c.value_count() == 0) {
        fault = "is a label and holds no value";
        return false;
    }
    if (!j.is_object()) {
        e.has_value = parse_value(c, j, e.value, fault, name_fault);
        return e.has_value;
    }
    for (const auto& [member, item] : j.items()) {
        if (member != "value" && member != "keys") {
            fault = "unknown member " + as_json_text(member) + " (expected \"value\" and \"keys\")";
            return false;
        }
    }
    auto keys = j.find("keys");
    if (keys == j.end() || !keys->is_array()) {
        fault = "expected {\"value\": ..., \"keys\": [[time, value], ...]}";
        return false;
    }
    auto value = j.find("value");
    if (value != j.end()) {
        if (!parse_value(c, *value, e.value, fault, name_fault)) return false;
        e.has_value = true;
    }
    e.has_keys = true;
    for (std::size_t i = 0; i < keys->size(); ++i) {
        const json& k = (*keys)[i];
        if (!k.is_array() || k.size() != 2 || !k[0].is_number()) {
            fault = "key " + std::to_string(i + 1) + ": expected [time, value], found " + shown(k);
            return false;
        }
        ControlKey key;
        key.time = k[0].get<double>();
        if (!std::isfinite(key.time) || std::fabs(key.time) > regv_limits::max_key_time) {
            fault = "key " + std::to_string(i + 1) + ": time " + shown(k[0]) + " is outside -1e9 to 1e9 frames";
            return false;
        }
        std::string why;
        if (!parse_value(c, k[1], key.v, why, name_fault)) {
            fault = "key " + std::to_string(i + 1) + ": " + why;
            return false;
        }
        e.keys.push_back(key);
    }
    return true;
}

// Range fault of a value (a numeric control's value, every colour
// component); empty when it is in range.
std::string range_fault(const CWidget& c, const double* v)
{
    if (c.kind() == ControlKind::color) {
        static const char* const names[] = {"red", "green", "blue", "alpha"};
        for (int i = 0; i < 4; ++i) {
            if (!(v[i] >= 0.0 && v[i] <= 1.0))
                return std::string(names[i]) + " " + json(v[i]).dump() + " is outside the range 0 to 1";
        }
        return {};
    }
    if (c.kind() != ControlKind::numeric) return {};
    const auto& n = static_cast<const CNumeric&>(c);
    if (n.in_range(v[0])) return {};
    return "value " + json(v[0]).dump() + " is outside the range " + json(n.minimum).dump() + " to " +
           json(n.maximum).dump();
}

// Brings a value into its control's range: numbers to the control's,
// colour components to 0..1.
void clamp_value(const CWidget& c, double* v)
{
    if (c.kind() == ControlKind::color) {
        for (int i = 0; i < 4; ++i) v[i] = std::clamp(v[i], 0.0, 1.0);
    } else if (c.kind() == ControlKind::numeric) {
        const auto& n = static_cast<const CNumeric&>(c);
        v[0] = std::clamp(v[0], n.minimum, n.maximum);
    }
}

const json* controls_of(const RegV& reg, std::string& fault)
{
    if (!reg.doc.is_object()) {
        fault = "not a settings document (the top level is not an object)";
        return nullptr;
    }
    auto it = reg.doc.find("controls");
    if (it == reg.doc.end()) {
        fault = "not a settings document (no \"controls\" member)";
        return nullptr;
    }
    if (!it->is_object()) {
        fault = "not a settings document (\"controls\" is not an object)";
        return nullptr;
    }
    return &*it;
}

}  // namespace

std::string saved_control_name(const FXNode& node, const CWidget& control)
{
    return saved_name(node, control);
}

std::vector<std::string> control_names(const FXNode& node)
{
    std::vector<std::string> names;
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c == nullptr || c->value_count() == 0) continue;
        names.push_back(c->label());
        if (c->kind() == ControlKind::option) names.push_back(static_cast<const COption&>(*c).short_label());
    }
    return names;
}

bool FXNode::save_controls(RegV& reg)
{
    json controls = json::object();
    for (const auto& owned : controls_) {
        const CWidget& c = *owned;
        if (c.value_count() == 0) continue;
        double v[4] = {0.0, 0.0, 0.0, 0.0};
        c.get_values(v);
        json value = value_json(c, v);
        if (c.keys().empty()) {
            controls[saved_name(*this, c)] = value;
            continue;
        }
        json keys = json::array();
        for (const ControlKey& k : c.keys()) keys.push_back(json::array({k.time, value_json(c, k.v)}));
        controls[saved_name(*this, c)] = json{{"value", value}, {"keys", keys}};
    }
    if (!reg.doc.is_object()) reg.doc = json::object();
    if (!name_.empty()) reg.doc["node"] = name_;
    reg.doc["controls"] = std::move(controls);
    return true;
}

bool FXNode::load_controls(const RegV& reg)
{
    std::string fault;
    const json* controls = controls_of(reg, fault);
    if (controls == nullptr) return false;
    for (const auto& [name, item] : controls->items()) {
        CWidget* c = find_control(name);
        if (c == nullptr) continue;
        Entry e;
        if (!parse_entry(*c, item, e, fault)) continue;
        clamp_value(*c, e.value);
        for (ControlKey& k : e.keys) clamp_value(*c, k.v);
        c->clear_keys();
        for (const ControlKey& k : e.keys) c->set_key(k);
        if (e.has_value) c->set_values(e.value);
    }
    return true;
}

bool FXNode::reg_save(RegV& reg)
{
    return save_controls(reg);
}

bool FXNode::reg_load(const RegV& reg)
{
    return load_controls(reg);
}

std::string regv_check(const RegV& reg, const FXNode& node, RegVNameFault* name_fault)
{
    std::string fault;
    const json* controls = controls_of(reg, fault);
    if (controls == nullptr) return fault;
    std::map<const CWidget*, std::string> seen;  // control -> the entry naming it
    for (const auto& [name, item] : controls->items()) {
        const CWidget* c = node.find_control(name);
        if (c == nullptr) {
            if (name_fault != nullptr) *name_fault = {name, control_names(node)};
            return "unknown control " + as_json_text(name);
        }
        auto [first, fresh] = seen.emplace(c, name);
        if (!fresh) {
            return "control " + as_json_text(c->label()) + " is named twice (" + as_json_text(first->second) + " and " +
                   as_json_text(name) + ")";
        }
        Entry e;
        if (!parse_entry(*c, item, e, fault, name_fault)) return "control " + as_json_text(name) + ": " + fault;
        if (e.has_value) {
            std::string why = range_fault(*c, e.value);
            if (!why.empty()) return "control " + as_json_text(name) + ": " + why;
        }
        for (std::size_t i = 0; i < e.keys.size(); ++i) {
            std::string why = range_fault(*c, e.keys[i].v);
            if (!why.empty()) return "control " + as_json_text(name) + ": key " + std::to_string(i + 1) + ": " + why;
        }
    }
    return {};
}
