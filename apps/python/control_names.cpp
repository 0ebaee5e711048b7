#include "apps/python/control_names.h"

#include <cctype>

#include "apps/common/core/nearest_name.h"

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

CWidget* find_named_control(const FXNode& node, const trellin_app::ControlFacts& facts, const std::string& name)
{
    CWidget* found = node.find_control(name);
    if (found != nullptr) return found->kind() != ControlKind::label ? found : nullptr;
    for (const trellin_app::ControlFact& f : facts.controls)
        if (keyword_name(f.label) == name) return node.control(f.control);
    return nullptr;
}

std::string suggest_control(const trellin_app::ControlFacts& facts, const std::string& name)
{
    // Keyword names first: a tie between "cell_count_x" and "Cell Count X" goes
    // to the form a script writes when the name has no space.
    const bool spaced = name.find(' ') != std::string::npos;
    std::vector<std::string> keywords, labels;
    for (const trellin_app::ControlFact& f : facts.controls) {
        keywords.push_back(keyword_name(f.label));
        labels.push_back(f.label);
    }
    std::vector<std::string> known = spaced ? labels : keywords;
    known.insert(known.end(), spaced ? keywords.begin() : labels.begin(), spaced ? keywords.end() : labels.end());
    return trellin_app::did_you_mean(name, known);
}

}  // namespace trellin_python
