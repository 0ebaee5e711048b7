#include "apps/trellin-view/panel_layout.h"

#include <algorithm>
#include <sstream>

namespace trellin_view {

namespace {

int column_count(const std::vector<PanelItem>& items, const PanelMetrics& metrics)
{
    int last_column = -1;
    for (const PanelItem& item : items)
        if (item.column >= 0 && item.row >= 0) last_column = std::max(last_column, item.column);
    return std::max(metrics.min_columns, last_column + 1);
}

std::vector<std::string> words_of(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

double panel_column_width(const std::vector<PanelItem>& items, const PanelMetrics& metrics)
{
    const int columns = column_count(items, metrics);
    const double inner = metrics.width - 2.0 * metrics.margin - double(columns - 1) * metrics.column_gap;
    return std::max(metrics.min_column_width, inner / double(columns));
}

PanelLayout layout_panel(const std::vector<PanelItem>& items, const PanelMetrics& metrics)
{
    PanelLayout layout;
    int last_row = -1;
    for (const PanelItem& item : items)
        if (item.column >= 0 && item.row >= 0) last_row = std::max(last_row, item.row);
    layout.columns = column_count(items, metrics);
    layout.rows = last_row + 1;

    // Per row: 0 empty, 1 labels only, 2 holds a control; and its longest
    // caption in lines.
    std::vector<int> kind(std::size_t(layout.rows), 0);
    std::vector<int> lines(std::size_t(layout.rows), 1);
    for (const PanelItem& item : items) {
        if (item.column < 0 || item.row < 0) continue;
        const std::size_t r = std::size_t(item.row);
        kind[r] = std::max(kind[r], item.is_label ? 1 : 2);
        if (!item.is_label) lines[r] = std::max(lines[r], item.caption_lines);
    }
    std::vector<double> top(std::size_t(layout.rows) + 1, metrics.margin);
    for (int r = 0; r < layout.rows; ++r) {
        const std::size_t k = std::size_t(r);
        const double h = kind[k] == 2
                             ? double(lines[k]) * metrics.line_height + metrics.caption_gap + metrics.control_height
                         : kind[k] == 1 ? metrics.line_height
                                        : metrics.empty_row_height;
        top[k + 1] = top[k] + h + (r + 1 < layout.rows ? metrics.row_gap : 0.0);
    }
    layout.height = top[std::size_t(layout.rows)] + metrics.margin;
    layout.column_width = panel_column_width(items, metrics);
    layout.width = 2.0 * metrics.margin + double(layout.columns) * layout.column_width +
                   double(layout.columns - 1) * metrics.column_gap;

    layout.cells.reserve(items.size());
    layout.control_offsets.reserve(items.size());
    layout.shown.reserve(items.size());
    for (const PanelItem& item : items) {
        if (item.column < 0 || item.row < 0) {
            layout.cells.push_back(Rect{});
            layout.control_offsets.push_back(0.0);
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
        layout.control_offsets.push_back(item.is_label ? 0.0
                                                       : double(lines[r]) * metrics.line_height + metrics.caption_gap);
        layout.shown.push_back(true);
    }
    return layout;
}

std::vector<PanelItem> wrap_groups(const std::vector<PanelItem>& items, PanelMetrics& metrics)
{
    const int columns = column_count(items, metrics);
    const auto width_of = [&](int n) {
        return 2.0 * metrics.margin + double(n) * metrics.min_column_width + double(n - 1) * metrics.column_gap;
    };
    if (width_of(columns) <= metrics.width) return items;
    // Groups start at the columns of the labels (and at column 0).
    std::vector<int> starts{0};
    for (const PanelItem& item : items)
        if (item.is_label && item.column > 0 && item.row >= 0) starts.push_back(item.column);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    if (starts.size() < 2) return items;
    starts.push_back(columns);
    int rows = 0;
    for (const PanelItem& item : items)
        if (item.column >= 0 && item.row >= 0) rows = std::max(rows, item.row + 1);

    // Each group's new first column and first row.
    const std::size_t groups = starts.size() - 1;
    std::vector<int> column_shift(groups), row_shift(groups);
    int band_start = 0, band_columns = 0, widest = 0, band = 0;
    for (std::size_t g = 0; g < groups; ++g) {
        const int span = starts[g + 1] - starts[g];
        if (band_columns > 0 && width_of(band_columns + span) > metrics.width) {
            ++band;
            band_start = starts[g];
            band_columns = 0;
        }
        column_shift[g] = band_start;
        row_shift[g] = band * rows;
        band_columns += span;
        widest = std::max(widest, band_columns);
    }
    std::vector<PanelItem> out = items;
    for (PanelItem& item : out) {
        if (item.column < 0 || item.row < 0) continue;
        const auto g =
            std::size_t(std::upper_bound(starts.begin(), starts.end() - 1, item.column) - starts.begin() - 1);
        item.column -= column_shift[g];
        item.row += row_shift[g];
    }
    metrics.min_columns = widest;
    return out;
}

std::vector<std::string> wrap_words(const std::string& text, double room,
                                    const std::function<double(const std::string&)>& measure)
{
    std::vector<std::string> lines;
    for (const std::string& word : words_of(text)) {
        if (!lines.empty() && measure(lines.back() + " " + word) <= room)
            lines.back() += " " + word;
        else
            lines.push_back(word);
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
}

double widest_word(const std::string& text, const std::function<double(const std::string&)>& measure)
{
    double widest = 0.0;
    for (const std::string& word : words_of(text)) widest = std::max(widest, measure(word));
    return widest;
}

WindowLayout split_window(double window_width, double window_height, double time_bar_height, double panel_height)
{
    WindowLayout w;
    const double width = std::max(0.0, window_width);
    const double height = std::max(0.0, window_height);
    const double panel = std::clamp(panel_height, 0.0, height * max_panel_share);
    const double bar = std::clamp(time_bar_height, 0.0, height - panel);
    w.picture_area = Rect{0.0, 0.0, width, height - panel - bar};
    w.time_bar = Rect{0.0, height - panel - bar, width, bar};
    w.panel = Rect{0.0, height - panel, width, panel};
    return w;
}

}  // namespace trellin_view
