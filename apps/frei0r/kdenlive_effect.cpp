#include "apps/frei0r/kdenlive_effect.h"

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

std::string kdenlive_effect(const std::string& frei0r_name, const std::string& title, const std::string& description,
                            const std::vector<EffectEntry>& entries)
{
    std::string xml = "<!DOCTYPE kpartgui>\n";
    xml += std::string("<effect tag=\"frei0r.") + escaped(frei0r_name) + "\" id=\"frei0r." + escaped(frei0r_name) +
           "\">\n";
    xml += std::string("    <name>") + escaped(title) + "</name>\n";
    xml += std::string("    <description>") + escaped(description) + "</description>\n";
    xml += "    <author>Kelvoids</author>\n";
    for (const EffectEntry& e : entries) {
        const Parameter& p = e.parameter;
        const double d = e.defaults.empty() ? 0.0 : e.defaults[0];
        const std::string name = escaped(p.name);
        std::string attributes;
        switch (p.kind) {
        case ControlKind::numeric: {
            const std::string unit = unit_of(e.meaning);
            attributes = "type=\"constant\" name=\"" + name + "\" default=\"" + number_text(d) + "\" min=\"" +
                         number_text(p.minimum) + "\" max=\"" + number_text(p.maximum) + "\" factor=\"" +
                         number_text(p.maximum - p.minimum) + "\" offset=\"" + number_text(p.minimum) + "\"" +
                         (p.whole_numbers ? " decimals=\"0\"" : " decimals=\"3\"") +
                         (unit.empty() ? std::string() : std::string(" suffix=\"") + escaped(unit) + "\"");
            break;
        }
        case ControlKind::boolean:
            attributes = "type=\"bool\" name=\"" + name + "\" default=\"" + (d != 0.0 ? "1" : "0") + "\"";
            break;
        case ControlKind::option: {
            std::string list;
            for (const std::string& item : p.items) {
                if (!list.empty()) list += ';';
                list += escaped(item);
            }
            const auto i = static_cast<std::size_t>(d);
            attributes = "type=\"list\" name=\"" + name + "\" default=\"" +
                         escaped(i < p.items.size() ? p.items[i] : std::string()) + "\" paramlist=\"" + list + "\"";
            break;
        }
        case ControlKind::color:
            attributes = "type=\"color\" name=\"" + name + "\" default=\"" + colour_text(e.defaults) + "\"";
            break;
        case ControlKind::label:
            continue;
        }
        xml += std::string("    <parameter ") + attributes + ">\n";
        xml += std::string("        <name>") + name + "</name>\n";
        if (p.kind == ControlKind::option) {
            std::string shown;
            for (const std::string& item : p.items) {
                if (!shown.empty()) shown += ',';
                shown += escaped(item);
            }
            xml += std::string("        <paramlistdisplay>") + shown + "</paramlistdisplay>\n";
        }
        if (!e.meaning.empty()) xml += std::string("        <comment>") + escaped(e.meaning) + "</comment>\n";
        xml += "    </parameter>\n";
    }
    xml += "</effect>\n";
    return xml;
}

}  // namespace trellin_frei0r
