#include "apps/python/control_names.h"

#include <cctype>

#include "apps/common/core/control_text.h"

namespace trellin_python {

std::string keyword_name(const std::string& label)
{
    std::string name;
    bool lower_before = false;  // the previous character was a lower-case letter or digit
    for (char ch : label) {
        const auto c = static_cast<unsigned char>(ch);
        if (!std::isalnum(c)) {
            if (!name.empty() && name.back() != '_') name += '_';
            lower_before = false;
            continue;
        }
        if (std::isupper(c) && lower_before) name += '_';
        name += static_cast<char>(std::tolower(c));
        lower_before = !std::isupper(c);
    }
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name;
}

std::string keyword_name(const CWidget& control)
{
    return keyword_name(trellin_app::setting_label(control));
}

CWidget* find_named_control(const FXNode& node, const std::string& name)
{
    CWidget* found = node.find_control(name);
    if (found == nullptr) {
        for (int i = 0; i < node.num_controls() && found == nullptr; ++i) {
            CWidget* c = node.control(i);
            if (c != nullptr && c->kind() != ControlKind::label && keyword_name(*c) == name) found = c;
        }
    }
    return found != nullptr && found->kind() != ControlKind::label ? found : nullptr;
}

}  // namespace trellin_python
