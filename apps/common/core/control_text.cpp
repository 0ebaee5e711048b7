#include "apps/common/core/control_text.h"

#include <cstdio>

namespace trellin_app {

std::string number_text(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v == 0.0 ? 0.0 : v);  // no "-0"
    return text;
}

const char* kind_name(ControlKind kind)
{
    switch (kind) {
    case ControlKind::numeric:
        return "numeric";
    case ControlKind::boolean:
        return "boolean";
    case ControlKind::option:
        return "option";
    case ControlKind::color:
        return "colour";
    case ControlKind::label:
        return "label";
    }
    return "unknown";
}

std::string setting_label(const CWidget& control)
{
    if (control.kind() == ControlKind::option) return static_cast<const COption&>(control).short_label();
    return control.label();
}

std::string items_text(const COption& option, const std::string& separator)
{
    std::string text;
    for (const std::string& item : option.items()) {
        if (!text.empty()) text += separator;
        text += item;
    }
    return text;
}

std::string default_text(const CWidget& control)
{
    switch (control.kind()) {
    case ControlKind::numeric:
        return number_text(static_cast<const CNumeric&>(control).default_value);
    case ControlKind::boolean:
        return static_cast<const CBoolean&>(control).default_state ? "on" : "off";
    case ControlKind::option: {
        const auto& option = static_cast<const COption&>(control);
        const int i = option.default_index;
        if (i >= 0 && static_cast<std::size_t>(i) < option.items().size())
            return option.items()[static_cast<std::size_t>(i)];
        return std::to_string(i);
    }
    case ControlKind::color: {
        const auto& colour = static_cast<const CColor&>(control);
        std::string text;
        for (double c : colour.default_rgba) {
            if (!text.empty()) text += ",";
            text += number_text(c);
        }
        return text;
    }
    case ControlKind::label:
        break;
    }
    return {};
}

std::string range_text(const CWidget& control)
{
    switch (control.kind()) {
    case ControlKind::numeric: {
        const auto& numeric = static_cast<const CNumeric&>(control);
        return number_text(numeric.minimum) + " to " + number_text(numeric.maximum);
    }
    case ControlKind::boolean:
        return "on, off";
    case ControlKind::option:
        return items_text(static_cast<const COption&>(control), ", ");
    case ControlKind::color:
        return "r,g,b,a 0 to 1 each";
    case ControlKind::label:
        break;
    }
    return {};
}

std::string step_text(const CWidget& control)
{
    if (control.kind() != ControlKind::numeric) return {};
    return number_text(static_cast<const CNumeric&>(control).step);
}

namespace {

std::string precise_text(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

}  // namespace

std::string value_text(const CWidget& control)
{
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    control.get_values(v);
    switch (control.kind()) {
    case ControlKind::numeric:
        return precise_text(v[0]);
    case ControlKind::boolean:
        return v[0] != 0.0 ? "on" : "off";
    case ControlKind::option: {
        const auto& items = static_cast<const COption&>(control).items();
        const double i = v[0];
        if (i >= 0.0 && i < static_cast<double>(items.size())) return items[static_cast<std::size_t>(i)];
        return precise_text(i);
    }
    case ControlKind::color:
        return precise_text(v[0]) + "," + precise_text(v[1]) + "," + precise_text(v[2]) + "," + precise_text(v[3]);
    case ControlKind::label:
        break;
    }
    return {};
}

}  // namespace trellin_app
