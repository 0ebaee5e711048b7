#include "apps/trellin-view/panel_layout.h"

#include <algorithm>

namespace trellin_view {

PanelLayout layout_panel(const std::vector<PanelItem>& items, const PanelMetrics& metrics)
{
    PanelLayout layout;
    int last_column = -1;
    int last_row = -1;
    for (const PanelItem& item : items) {
        if (item.column < 0 || item.row < 0) continue;
        last_column = std::max(last_column, item.column);
        last_row = std::max(last_row, item.row);
    }
    layout.columns = std::max(metrics.min_columns, last_column + 1);
    layout.rows = last_row + 1;

    // Row kinds: 0 empty, 1 labels only, 2 holds a control.
    std::vector<int> kind(std::size_t(layout.rows), 0);
    for (const PanelItem& item : items) {
        if (item.column < 0 || item.row < 0) continue;
        int& k = kind[std::size_t(item.row)];
        k = std::max(k, item.is_label ? 1 : 2);
    }
    std::vector<double> top(std::size_t(layout.rows) + 1, metrics.margin);
    for (int r = 0; r < layout.rows; ++r) {
        const int k = kind[std::size_t(r)];
        const double h = k == 2 ? metrics.control_row_height
                         : k == 1 ? metrics.label_row_height
                                  : metrics.empty_row_height;
        top[std::size_t(r) + 1] = top[std::size_t(r)] + h + (r + 1 < layout.rows ? metrics.row_gap : 0.0);
    }
    layout.height = top[std::size_t(layout.rows)] + metrics.margin;

    const double inner = metrics.width - 2.0 * metrics.margin - double(layout.columns - 1) * metrics.column_gap;
    layout.column_width = std::max(metrics.min_column_width, inner / double(layout.columns));

    layout.cells.reserve(items.size());
    layout.shown.reserve(items.size());
    for (const PanelItem& item : items) {
        if (item.column < 0 || item.row < 0) {
            layout.cells.push_back(Rect{});
            layout.shown.push_back(false);
            continue;
        }
        const std::size_t r = std::size_t(item.row);
        Rect cell;
        cell.x = metrics.margin + double(item.column) * (layout.column_width + metrics.column_gap);
        cell.y = top[r];
        cell.width = layout.column_width;
        cell.height = top[r + 1] - top[r] - (item.row + 1 < layout.rows ? metrics.row_gap : 0.0);
        layout.cells.push_back(cell);
        layout.shown.push_back(true);
    }
    return layout;
}

WindowLayout split_window(double window_width, double window_height, double panel_height)
{
    WindowLayout w;
    const double width = std::max(0.0, window_width);
    const double height = std::max(0.0, window_height);
    const double panel = std::clamp(panel_height, 0.0, height);
    w.picture_area = Rect{0.0, 0.0, width, height - panel};
    w.panel = Rect{0.0, height - panel, width, panel};
    return w;
}

}  // namespace trellin_view
