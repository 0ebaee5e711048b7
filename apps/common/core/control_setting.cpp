#include "apps/common/core/control_setting.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "apps/common/core/control_text.h"
#include "apps/common/core/nearest_name.h"
#include "host/regv.h"
#include "host/value_excerpt.h"

namespace trellin_app {

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lower(std::string text)
{
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

std::vector<std::string> split_commas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

SettingError refused(const Setting& s, const std::string& why)
{
    return SettingError(setting_text(s) + ": " + why);
}

// Whatever the C library reads as a number, finite or not.
bool reads_as_number(const std::string& text)
{
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

double numeric_value(const CNumeric& control, const Setting& s)
{
    double v = 0.0;
    if (!parse_number(s.value, v)) {
        if (reads_as_number(s.value)) throw refused(s, "not a finite number");
        throw refused(s, "not a number (expected a decimal number from " + number_text(control.minimum) + " to " +
                             number_text(control.maximum) + ")");
    }
    if (!control.in_range(v))
        throw refused(s, "out of range (" + control.label() + " takes " + number_text(control.minimum) + " to " +
                             number_text(control.maximum) + ")");
    return v;
}

double boolean_value(const Setting& s)
{
    const std::string v = lower(s.value);
    if (v == "on" || v == "true" || v == "yes" || v == "1") return 1.0;
    if (v == "off" || v == "false" || v == "no" || v == "0") return 0.0;
    throw refused(s, "not a switch value (expected on or off)");
}

double option_value(const COption& control, const Setting& s)
{
    const auto& items = control.items();
    const std::string v = lower(s.value);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (lower(items[i]) == v) return static_cast<double>(i);
    }
    bool digits = !v.empty();
    for (char ch : v) digits = digits && std::isdigit(static_cast<unsigned char>(ch));
    if (digits) {
        unsigned long index = 0;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), index);
        if (ec == std::errc() && end == v.data() + v.size() && index < items.size()) return static_cast<double>(index);
        throw refused(s, "item index out of range (0 to " + std::to_string(items.size() - 1) + ")");
    }
    throw refused(s, "unknown item (expected one of " + items_text(control, ", ") + ", or an index from 0)" +
                         did_you_mean(s.value, items));
}

void colour_value(const Setting& s, double* rgba)
{
    const std::vector<std::string> parts = split_commas(s.value);
    if (parts.size() != 3 && parts.size() != 4) throw refused(s, "expected a colour as red,green,blue,alpha");
    rgba[3] = 1.0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parse_number(parts[i], rgba[i]))
            throw refused(s, "colour component \"" + host_detail::excerpt(parts[i]) + "\" is not a finite number");
        if (rgba[i] < 0.0 || rgba[i] > 1.0)
            throw refused(s, "colour component " + host_detail::excerpt(parts[i]) + " out of range (0 to 1)");
    }
}

}  // namespace

std::string setting_text(const Setting& s)
{
    return host_detail::excerpt(s.label) + "=" + host_detail::excerpt(s.value);
}

bool parse_number(const std::string& text, double& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+' || *first == 'i' || *first == 'I' || *first == 'n' || *first == 'N')
        return false;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || end != last || !std::isfinite(v)) return false;
    value = v;
    return true;
}

Setting parse_setting(const std::string& text)
{
    const std::size_t eq = text.find('=');
    const std::string shown = host_detail::excerpt(text);
    if (eq == std::string::npos)
        throw SettingError(shown + ": expected LABEL=VALUE (e.g. Index=1.6)", SettingError::Fault::syntax);
    Setting s{trimmed(text.substr(0, eq)), trimmed(text.substr(eq + 1))};
    if (s.label.empty()) throw SettingError(shown + ": no control label before '='", SettingError::Fault::syntax);
    if (s.value.empty()) throw SettingError(shown + ": no value after '='", SettingError::Fault::syntax);
    return s;
}

CWidget& setting_control(const FXNode& node, const Setting& s)
{
    CWidget* control = node.find_control(s.label);
    if (control == nullptr) {
        std::string hint = did_you_mean(s.label, control_names(node));
        if (hint.empty()) hint = " (trellin info lists the controls)";
        throw SettingError(setting_text(s) + ": unknown control \"" + host_detail::excerpt(s.label) + "\"" + hint,
                           SettingError::Fault::unknown_label);
    }
    return *control;
}

void setting_values(const CWidget& control, const Setting& s, double values[4])
{
    values[0] = values[1] = values[2] = values[3] = 0.0;
    switch (control.kind()) {
    case ControlKind::numeric:
        values[0] = numeric_value(static_cast<const CNumeric&>(control), s);
        return;
    case ControlKind::boolean:
        values[0] = boolean_value(s);
        return;
    case ControlKind::option:
        values[0] = option_value(static_cast<const COption&>(control), s);
        return;
    case ControlKind::color:
        colour_value(s, values);
        return;
    case ControlKind::label:
        break;
    }
    throw refused(s, "\"" + control.label() + "\" is a label, not a setting");
}

CWidget* apply_setting(FXNode& node, const Setting& s)
{
    CWidget& control = setting_control(node, s);
    double values[4];
    setting_values(control, s, values);
    control.set_values(values);
    return &control;
}

}  // namespace trellin_app
