#include "node/control_table.h"

#include "node/trellin_node.h"

namespace vx {

namespace {

constexpr bool same(const char* a, const char* b)
{
    return a && b && std::string_view(a) == b;
}

// Value rows first, each bound to a typed control; labels after, bound to
// none.
constexpr bool values_then_labels()
{
    for (int i = 0; i < control_table_size; ++i) {
        const ControlRow& row = control_table[i];
        const bool is_label = row.kind == ControlKind::label;
        if (is_label != (i >= value_control_count)) return false;
        if (is_label != (row.binding == ControlBinding::none)) return false;
        if ((row.kind == ControlKind::option) != (row.items != nullptr)) return false;
    }
    return true;
}

constexpr bool labels_unique()
{
    for (int i = 0; i < control_table_size; ++i)
        for (int j = i + 1; j < control_table_size; ++j)
            if (same(control_table[i].label, control_table[j].label)) return false;
    return true;
}

// A position's x row is followed by its y row. (Which typed control each
// row feeds is checked by the control table's test: sanitizer builds do not
// compare function addresses at compile time.)
constexpr bool positions_in_pairs()
{
    for (int i = 0; i < value_control_count; ++i) {
        const ControlRow& row = control_table[i];
        const bool x = row.binding == ControlBinding::position_x;
        const bool y = row.binding == ControlBinding::position_y;
        if (x != (i + 1 < value_control_count && control_table[i + 1].binding == ControlBinding::position_y))
            return false;
        if (y && !(i > 0 && control_table[i - 1].binding == ControlBinding::position_x)) return false;
    }
    return true;
}

// A crosshair writes a position's x and y controls; the angle handle one
// numeric control.
constexpr bool handles_name_their_controls()
{
    for (const HandleRow& handle : handle_table) {
        const int x = control_row(handle.x_label);
        if (x < 0 || control_table[x].kind != ControlKind::numeric) return false;
        if (handle.handle == HandleId::angle) {
            if (handle.y_label != nullptr || control_table[x].binding != ControlBinding::value) return false;
        } else {
            const int y = control_row(handle.y_label ? handle.y_label : "");
            if (y != x + 1 || control_table[x].binding != ControlBinding::position_x) return false;
        }
    }
    return true;
}

static_assert(values_then_labels(), "value rows come first, each bound to a typed control; labels last");
static_assert(labels_unique(), "every control has its own label");
static_assert(positions_in_pairs(), "a position's x row is followed by its y row");
static_assert(handles_name_their_controls(), "every handle names controls of the table it can write");
static_assert(TrellinNode::control_count == control_table_size);
static_assert(TrellinNode::value_control_count == value_control_count);

OverlayControlVx& handle_of(Trellin& effect, HandleId id)
{
    switch (id) {
    case HandleId::light:
        return effect.light_handle;
    case HandleId::centre:
        return effect.centre_handle;
    case HandleId::tweak:
        return effect.tweak_handle;
    case HandleId::angle:
        break;
    }
    return effect.angle_handle;
}

}  // namespace

void pull_typed_controls(TrellinParams& param)
{
    // A position is pulled once, through its x row.
    for (const ControlRow& row : control_table)
        if (row.typed && row.binding != ControlBinding::position_y) row.typed(param).pull();
}

void TrellinNode::create_controls()
{
    for (int i = 0; i < control_table_size; ++i) {
        const ControlRow& def = control_table[i];
        CWidget* widget = nullptr;
        switch (def.kind) {
        case ControlKind::numeric:
            widget = Numeric(def.label, def.value[0], def.minimum, def.maximum, def.step, def.flag);
            break;
        case ControlKind::boolean:
            widget = Boolean(def.label, def.value[0] != 0.0, def.flag);
            break;
        case ControlKind::option:
            widget = Option(def.label, def.items, static_cast<int>(def.value[0]));
            break;
        case ControlKind::color:
            widget = Color(def.label, def.value, def.flag);
            break;
        case ControlKind::label:
            widget = Label(def.label);
            break;
        }
        controls[i] = {widget, def.panel_column, def.panel_row};

        if (def.binding == ControlBinding::none) continue;
        ControlVx& typed = def.typed(effect->param);
        if (def.binding == ControlBinding::position_y)
            typed.host_y = static_cast<CNumeric*>(widget);
        else
            typed.host = widget;
        typed.node = this;
    }

    for (const HandleRow& def : handle_table) {
        OverlayControlVx& handle = handle_of(*effect, def.handle);
        const int x_row = control_row(def.x_label);
        auto* host_x = static_cast<CNumeric*>(controls[x_row].control);
        if (def.handle == HandleId::angle) {
            static_cast<AngleOverlayVx&>(handle).host_angle = host_x;
        } else {
            auto& crosshair = static_cast<CrosshairOverlayVx&>(handle);
            crosshair.host_x = host_x;
            crosshair.host_y = static_cast<CNumeric*>(controls[control_row(def.y_label)].control);
            crosshair.diagonal_arms = def.diagonal_arms;
        }
        handle.control = &control_table[x_row].typed(effect->param);
        for (int c = 0; c < 4; ++c) handle.colour[c] = def.colour[c];
        handle.overlay = effect;
        handle.event_taken = &effect->overlay_event_taken;
    }
}

}  // namespace vx
