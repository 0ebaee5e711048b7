// The control panel's grid: where each control a node placed on the panel
// (column across, row down) is drawn, and how its caption wraps.
//
// Every column has the same width, so the panel's columns line up whatever
// the controls in them: the panel's width shared out, but never less than
// the widest thing a column must show whole (a caption's longest word, an
// option's longest item). A grid wider than the panel scrolls sideways.
// Rows have one of three heights: a row holding a control that takes a value
// is tall enough for its longest caption (captions wrap between words, never
// inside one) and the control below it, a row holding only labels takes one
// line of text, and a row with nothing in it is a narrow gap. Rows and
// columns count from 0; the grid reaches the last row used and at least
// `min_columns` columns.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

struct PanelItem {
    int column = 0;
    int row = 0;
    bool is_label = false;
    int caption_lines = 1;  // lines its caption takes at the column width
};

struct PanelMetrics {
    double width = 0.0;  // the panel's width, margins included
    double margin = 8.0;
    double column_gap = 8.0;
    double row_gap = 4.0;
    double line_height = 16.0;     // one line of a caption or a label
    double caption_gap = 4.0;      // between a caption and its control
    double control_height = 20.0;  // the control below its caption
    double empty_row_height = 6.0;
    double min_column_width = 40.0;
    int min_columns = 14;
};

struct PanelLayout {
    // One cell per item, in the items' order, in panel units from the panel's
    // top-left corner, and how far below the cell's top its control starts
    // (below the row's longest caption). An item at a negative column or row
    // gets an empty cell and is not shown.
    std::vector<Rect> cells;
    std::vector<double> control_offsets;
    std::vector<bool> shown;
    int columns = 0;
    int rows = 0;
    double column_width = 0.0;
    // The grid's size, both margins included.
    double width = 0.0;
    double height = 0.0;
};

// The width of every column for these items (the captions' lines do not
// change it).
double panel_column_width(const std::vector<PanelItem>& items, const PanelMetrics& metrics);

PanelLayout layout_panel(const std::vector<PanelItem>& items, const PanelMetrics& metrics);

// The panel's groups (a group starts at each column holding a label and runs
// to the next) put below one another when the grid does not fit
// `metrics.width` side by side at the narrowest columns: as many groups as
// fit share a band, and each band starts below the rows of the one above.
// Returns the items moved and sets `metrics.min_columns` to the widest
// band's columns; items and metrics are returned as they were when
// everything fits (or when there is one group).
std::vector<PanelItem> wrap_groups(const std::vector<PanelItem>& items, PanelMetrics& metrics);

// `text` broken into lines at its spaces, each line as long as fits `room` by
// `measure` (the width of a piece of text). A word wider than `room` gets a
// line of its own: words are never cut.
std::vector<std::string> wrap_words(const std::string& text, double room,
                                    const std::function<double(const std::string&)>& measure);
// The widest word of `text` by `measure`.
double widest_word(const std::string& text, const std::function<double(const std::string&)>& measure);

// The window split, top to bottom, into the picture's area, the time bar
// (`time_bar_height` high) and the panel (`panel_height` high), both across
// the whole width; the panel first, then the time bar, get what the window
// holds, but the panel never more than `max_panel_share` of the height (it
// scrolls then), so that the picture keeps room.
struct WindowLayout {
    Rect picture_area;
    Rect time_bar;
    Rect panel;
};
inline constexpr double max_panel_share = 0.5;
WindowLayout split_window(double window_width, double window_height, double time_bar_height, double panel_height);

}  // namespace trellin_view
