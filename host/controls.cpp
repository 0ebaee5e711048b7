// The host controls: the common widget state and the five kinds.
#include <algorithm>
#include <cmath>
#include <utility>

#include "contract/host_api.h"

CWidget::CWidget(ControlKind kind, std::string label) : kind_(kind), label_(std::move(label)) {}

CWidget::~CWidget() = default;

void CWidget::hide()
{
    hidden_ = true;
}
void CWidget::show()
{
    hidden_ = false;
}
void CWidget::disable()
{
    disabled_ = true;
}
void CWidget::enable()
{
    disabled_ = false;
}

// ---------------------------------------------------------------------------

CNumeric::CNumeric(std::string label, double def, double min, double max, double step_, bool flag_)
    : CWidget(ControlKind::numeric, std::move(label)),
      value(def),
      default_value(def),
      minimum(min),
      maximum(max),
      step(step_),
      flag(flag_)
{
}

CNumeric& CNumeric::operator=(float v)
{
    // A NaN has no place in the range; the control keeps its value.
    if (std::isnan(v)) return *this;
    double d = static_cast<double>(v);
    if (d < minimum) d = minimum;
    if (d > maximum) d = maximum;
    value = d;
    return *this;
}

// ---------------------------------------------------------------------------

CBoolean::CBoolean(std::string label, bool def, bool flag_)
    : CWidget(ControlKind::boolean, std::move(label)), state(def), default_state(def), flag(flag_)
{
}

// ---------------------------------------------------------------------------

namespace {

std::vector<std::string> split_items(const char* items)
{
    std::vector<std::string> out;
    if (items == nullptr || *items == '\0') return out;
    std::string text(items);
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        // Spaces around an item are layout, not part of its name.
        std::size_t b = item.find_first_not_of(" \t");
        std::size_t e = item.find_last_not_of(" \t");
        out.push_back(b == std::string::npos ? std::string() : item.substr(b, e - b + 1));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

int clamp_index(int index, std::size_t count)
{
    if (count == 0 || index < 0) return 0;
    if (static_cast<std::size_t>(index) >= count) return static_cast<int>(count) - 1;
    return index;
}

}  // namespace

COption::COption(std::string label, const char* items, int def)
    : CWidget(ControlKind::option, std::move(label)),
      index(0),
      default_index(clamp_index(def, split_items(items).size())),
      items_(split_items(items))
{
    index = default_index;
}

std::string COption::short_label() const
{
    const std::string& text = label();
    std::size_t marker = text.find('%');
    if (marker == std::string::npos) return text;
    std::string head = text.substr(0, marker);
    while (!head.empty() && (head.back() == ' ' || head.back() == ':')) head.pop_back();
    return head;
}

void COption::set_values(const double* in)
{
    // An index always names one of the items, so readers may index the list.
    double v = in[0];
    if (std::isnan(v)) return;
    double r = std::floor(v + 0.5);
    if (r < 0.0) r = 0.0;
    double last = items_.empty() ? 0.0 : static_cast<double>(items_.size() - 1);
    if (r > last) r = last;
    index = static_cast<int>(r);
}

// ---------------------------------------------------------------------------

CColor::CColor(std::string label, const double* rgba_in, bool flag_)
    : CWidget(ControlKind::color, std::move(label)), flag(flag_)
{
    for (int i = 0; i < 4; ++i) {
        rgba[i] = rgba_in != nullptr ? rgba_in[i] : 1.0;
        default_rgba[i] = rgba[i];
    }
}

void CColor::get_value(double& r, double& g, double& b, double& a) const
{
    r = rgba[0];
    g = rgba[1];
    b = rgba[2];
    a = rgba[3];
}

void CColor::get_values(double* out) const
{
    for (int i = 0; i < 4; ++i) out[i] = rgba[i];
}

void CColor::set_values(const double* in)
{
    for (int i = 0; i < 4; ++i) rgba[i] = in[i];
}

// ---------------------------------------------------------------------------

CLabel::CLabel(std::string text) : CWidget(ControlKind::label, std::move(text)) {}
