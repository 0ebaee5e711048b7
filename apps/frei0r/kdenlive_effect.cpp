#include "apps/frei0r/kdenlive_effect.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "apps/common/core/control_text.h"

namespace trellin_frei0r {

namespace {

using trellin_app::number_text;

std::string escaped(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += ch;
        }
    }
    return out;
}

// The unit a meaning names, as Kdenlive shows it after the value.
std::string unit_of(const std::string& meaning)
{
    if (meaning.find("degrees") != std::string::npos) return "°";
    if (meaning.find("percent") != std::string::npos) return "%";
    if (meaning.find("in pixels") != std::string::npos) return " px";
    return {};
}

// A frei0r value as the module reads it back exactly (the shortest text that
// round-trips).
std::string unit_text(double u)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, u);
    return std::string(text, result.ptr);
}

// A list entry's frei0r value as Kdenlive reads it back: it hands a number to
// MLT as a number, which MLT gives back as printf's %g, and selects the entry
// whose text is that. Six digits place a whole number of a range of at most
// max_listed_values well within half a step of it.
std::string list_unit_text(double u)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", u);
    return text;
}

// Whole-number controls of at most this many values, from a minimum other
// than 0, are shown as a list of their values.
constexpr double max_listed_values = 200;

bool listed(const Parameter& p)
{
    return p.minimum != 0.0 && p.whole_numbers && p.maximum - p.minimum < max_listed_values;
}

// The filter's value for the numeric control value `d`, in the text the
// description gives it.
std::string numeric_value_text(const Parameter& p, double d)
{
    return listed(p) ? list_unit_text(unit_value(p, std::round(d))) : unit_text(unit_value(p, d));
}

std::string numeric_attributes(const Parameter& p, double d, const std::string& meaning, std::string& comment,
                               std::string& list_display)
{
    const std::string name = escaped(p.name);
    const std::string u = numeric_value_text(p, d);
    if (p.minimum == 0.0) {
        const std::string unit = unit_of(meaning);
        return "type=\"constant\" name=\"" + name + "\" default=\"" + u + "\" min=\"0\" max=\"" +
               number_text(p.maximum) + "\" factor=\"" + number_text(p.maximum) + "\"" +
               (p.whole_numbers ? " decimals=\"0\"" : " decimals=\"3\"") +
               (unit.empty() ? std::string() : std::string(" suffix=\"") + escaped(unit) + "\"");
    }
    if (listed(p)) {
        std::string values;
        for (double v = std::ceil(p.minimum); v <= p.maximum; v += 1.0) {
            if (!values.empty()) {
                values += ';';
                list_display += ',';
            }
            values += list_unit_text(unit_value(p, v));
            list_display += number_text(v);
        }
        return "type=\"list\" name=\"" + name + "\" default=\"" + numeric_value_text(p, d) + "\" paramlist=\"" +
               values + "\"";
    }
    comment += std::string(comment.empty() ? "" : " ") + "Shown as its place in its range: 0 % is " +
               number_text(p.minimum) + ", 100 % is " + number_text(p.maximum) + ".";
    return "type=\"constant\" name=\"" + name + "\" default=\"" + u +
           "\" min=\"0\" max=\"100\" factor=\"100\" decimals=\"1\" suffix=\"%\"";
}

std::string colour_text(const std::vector<double>& rgb)
{
    char text[16];
    const auto byte = [&](std::size_t k) {
        const double v = k < rgb.size() ? rgb[k] : 1.0;
        return static_cast<unsigned>(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255.0));
    };
    std::snprintf(text, sizeof text, "0x%02x%02x%02xff", byte(0), byte(1), byte(2));
    return text;
}

}  // namespace

std::string kdenlive_filter_value(const EffectEntry& e)
{
    const Parameter& p = e.parameter;
    const double d = e.defaults.empty() ? 0.0 : e.defaults[0];
    switch (p.kind) {
    case ControlKind::numeric:
        return numeric_value_text(p, d);
    case ControlKind::boolean:
        return d != 0.0 ? "1" : "0";
    case ControlKind::option: {
        const auto i = static_cast<std::size_t>(d);
        return i < p.items.size() ? p.items[i] : std::string();
    }
    case ControlKind::color:
        return colour_text(e.defaults);
    case ControlKind::label:
        break;
    }
    return {};
}

std::string kdenlive_effect(const std::string& frei0r_name, const std::string& title, const std::string& description,
                            const std::vector<EffectEntry>& entries)
{
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n";
    xml += std::string("<effect tag=\"frei0r.") + escaped(frei0r_name) + "\" id=\"frei0r." + escaped(frei0r_name) +
           "\">\n";
    xml += std::string("    <name>") + escaped(title) + "</name>\n";
    xml += std::string("    <description>") + escaped(description) + "</description>\n";
    xml += "    <author>Kelvoids</author>\n";
    for (const EffectEntry& e : entries) {
        const Parameter& p = e.parameter;
        const double d = e.defaults.empty() ? 0.0 : e.defaults[0];
        const std::string name = escaped(p.name);
        std::string attributes, comment = e.meaning, list_display;
        switch (p.kind) {
        case ControlKind::numeric:
            attributes = numeric_attributes(p, d, e.meaning, comment, list_display);
            break;
        case ControlKind::boolean:
            attributes = "type=\"bool\" name=\"" + name + "\" default=\"" + kdenlive_filter_value(e) + "\"";
            break;
        case ControlKind::option: {
            std::string list;
            for (const std::string& item : p.items) {
                if (!list.empty()) list += ';';
                list += escaped(item);
            }
            attributes = "type=\"list\" name=\"" + name + "\" default=\"" + escaped(kdenlive_filter_value(e)) +
                         "\" paramlist=\"" + list + "\"";
            break;
        }
        case ControlKind::color:
            attributes = "type=\"color\" name=\"" + name + "\" default=\"" + kdenlive_filter_value(e) + "\"";
            break;
        case ControlKind::label:
            continue;
        }
        xml += std::string("    <parameter ") + attributes + ">\n";
        xml += std::string("        <name>") + name + "</name>\n";
        if (p.kind == ControlKind::option) {
            for (const std::string& item : p.items) {
                if (!list_display.empty()) list_display += ',';
                list_display += escaped(item);
            }
        }
        if (!list_display.empty())
            xml += std::string("        <paramlistdisplay>") + list_display + "</paramlistdisplay>\n";
        if (!comment.empty()) xml += std::string("        <comment>") + escaped(comment) + "</comment>\n";
        xml += "    </parameter>\n";
    }
    xml += "</effect>\n";
    return xml;
}

}  // namespace trellin_frei0r
