// The time bar between the picture and the panel: the frame shown, the
// shot's range as a track with the keys of every keyed control (the selected
// controls' brightest) and, after
// playback, which frames were rendered and which skipped; below it the
// status line and the viewer's keys. Clicking or dragging along the track
// goes to a frame.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "apps/trellin-view/timeline.h"
#include "apps/trellin-view/view_geometry.h"

namespace trellin_view {

struct TimeBarView {
    const Timeline* timeline = nullptr;
    std::vector<double> key_times;        // keys of the selected controls
    std::vector<double> other_key_times;  // keys of every other keyed control, drawn fainter
    std::string selected;                 // the names shown beside "keys:"; empty: none
    std::string showing;                  // what the picture shows: "result", "input", "wipe"
    std::string status;                   // the status line
};

struct TimeBarInput {
    std::optional<std::size_t> go_to;  // the frame (index) the track was clicked or dragged to
    bool scrubbing = false;            // the track is being dragged
};

// The bar's height for a window `width` wide, where its line of keys may
// wrap (needs a current ImGui frame, for the font).
double time_bar_height(double width);

// Draws the bar over `area` (window units).
TimeBarInput draw_time_bar(const Rect& area, const TimeBarView& view);

// The line of keys the bar shows.
extern const char* const viewer_keys_help;

}  // namespace trellin_view
