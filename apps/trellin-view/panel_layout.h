// The control panel's grid: where each control a node placed on the panel
// (column across, row down) is drawn.
//
// Every column has the same width, so the panel's columns line up whatever
// the controls in them. Rows have one of three heights: a row holding a
// control that takes a value is tall enough for a caption and the control
// below it, a row holding only labels takes one line of text, and a row with
// nothing in it is a narrow gap. Rows and columns count from 0; the grid
// reaches the last row used and at least `min_columns` columns.
#pragma once

#include <vector>

#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

struct PanelItem {
    int column = 0;
    int row = 0;
    bool is_label = false;
};

struct PanelMetrics {
    double width = 0.0;  // the panel's width, margins included
    double margin = 8.0;
    double column_gap = 8.0;
    double row_gap = 4.0;
    double control_row_height = 40.0;
    double label_row_height = 18.0;
    double empty_row_height = 6.0;
    double min_column_width = 40.0;
    int min_columns = 14;
};

struct PanelLayout {
    // One cell per item, in the items' order, in panel units from the panel's
    // top-left corner. An item at a negative column or row gets an empty cell
    // and is not shown.
    std::vector<Rect> cells;
    std::vector<bool> shown;
    int columns = 0;
    int rows = 0;
    double column_width = 0.0;
    // Height of the grid, both margins included.
    double height = 0.0;
};

PanelLayout layout_panel(const std::vector<PanelItem>& items, const PanelMetrics& metrics);

// The window split into the picture's area (top) and the panel (below it,
// across the whole width, `panel_height` high, or the whole window when that
// is smaller).
struct WindowLayout {
    Rect picture_area;
    Rect panel;
};
WindowLayout split_window(double window_width, double window_height, double panel_height);

}  // namespace trellin_view
