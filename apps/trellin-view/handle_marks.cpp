#include "apps/trellin-view/handle_marks.h"

#include <algorithm>
#include <cmath>

#include "apps/common/core/control_facts.h"

namespace trellin_view {

std::vector<HandleMark> outside_handle_marks(FXNode& node, const Rect& picture, const Rect& area, int image_width,
                                             int image_height)
{
    std::vector<HandleMark> marks;
    // The part of the picture the window shows: a handle beyond it is as
    // hidden as one beyond the picture.
    const double left = std::max(picture.x, area.x);
    const double top = std::max(picture.y, area.y);
    const double right = std::min(picture.x + picture.width, area.x + area.width);
    const double bottom = std::min(picture.y + picture.height, area.y + area.height);
    if (right <= left || bottom <= top || image_width <= 0 || image_height <= 0) return marks;

    const trellin_app::ControlFacts facts = trellin_app::control_facts(node);
    for (const trellin_app::ControlFact& fx : facts.controls) {
        if (!fx.is_position_x()) continue;
        const trellin_app::ControlFact& fy = facts.controls[std::size_t(fx.partner)];
        const CWidget* cx = node.control(fx.control);
        const CWidget* cy = node.control(fy.control);
        if (cx == nullptr || cy == nullptr || cx->kind() != ControlKind::numeric || cy->kind() != ControlKind::numeric)
            continue;
        // A handle the node does not show (the light's while it is off).
        if (cx->is_disabled() || cx->is_hidden()) continue;
        HandleMark mark;
        mark.image_x = static_cast<const CNumeric*>(cx)->value * image_width;
        mark.image_y = static_cast<const CNumeric*>(cy)->value * image_height;
        const WindowPoint at = image_to_window(picture, image_width, image_height, mark.image_x, mark.image_y);
        if (at.x >= left && at.x <= right && at.y >= top && at.y <= bottom) continue;
        mark.x = std::clamp(at.x, left, right);
        mark.y = std::clamp(at.y, top, bottom);
        const double dx = at.x - mark.x, dy = at.y - mark.y;
        const double length = std::hypot(dx, dy);
        mark.towards_x = dx / length;
        mark.towards_y = dy / length;
        mark.label = fx.title.substr(0, fx.title.size() - std::min<std::size_t>(fx.title.size(), 2));
        marks.push_back(std::move(mark));
    }
    return marks;
}

const HandleMark* mark_at(const std::vector<HandleMark>& marks, double x, double y, double reach)
{
    for (const HandleMark& m : marks)
        if (std::abs(m.x - x) <= reach && std::abs(m.y - y) <= reach) return &m;
    return nullptr;
}

}  // namespace trellin_view
