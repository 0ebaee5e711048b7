#include "apps/trellin-view/time_bar.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "apps/trellin-view/track_marks.h"
#include "apps/trellin-view/ui_style.h"

namespace trellin_view {

const char* const viewer_keys_help =
    "Left/Right step (Shift: 10)   Home/End   Space play   K key   B before/after   W wipe   "
    "wheel zoom   1 1:1   F fit   middle or Space drag: pan   O outline   S save   E export   Esc quit";

namespace {

// The keys' line broken into lines no wider than `room`, between its items.
std::vector<std::string> help_lines(double room)
{
    const std::string gap = "   ";
    std::vector<std::string> lines;
    const std::string help = viewer_keys_help;
    for (std::size_t at = 0; at < help.size();) {
        std::size_t end = help.find(gap, at);
        if (end == std::string::npos) end = help.size();
        const std::string item = help.substr(at, end - at);
        if (!lines.empty() && ImGui::CalcTextSize((lines.back() + gap + item).c_str()).x <= room)
            lines.back() += gap + item;
        else
            lines.push_back(item);
        at = end + gap.size();
    }
    return lines;
}

double help_room(double width)
{
    return width - 2.0 * ImGui::GetStyle().WindowPadding.x;
}

}  // namespace

double time_bar_height(double width)
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const double lines = 1.0 + double(help_lines(help_room(width)).size());
    return 2.0 * style.WindowPadding.y + ImGui::GetFrameHeight() + lines * ImGui::GetTextLineHeight() +
           lines * style.ItemSpacing.y;
}

namespace {

// Where along the track frame index `i` of `n` lies: the middle of its slot.
float slot_centre(float x0, float width, double i, std::size_t n)
{
    return x0 + static_cast<float>((i + 0.5) * double(width) / double(n));
}

void draw_track(const ImVec2& lo, const ImVec2& hi, const TimeBarView& view)
{
    const Timeline& t = *view.timeline;
    const std::size_t n = t.frames().size();
    const float width = hi.x - lo.x;
    const float height = hi.y - lo.y;
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->AddRectFilled(lo, hi, ImGui::GetColorU32(ImGuiCol_FrameBg));

    // Playback: rendered frames green, skipped ones red, along the bottom.
    // One span per column at most (track_marks.h), however long the shot.
    const float slot = width / static_cast<float>(n);
    const float mark_h = std::max(3.0f, height * 0.18f);
    for (const PlaybackSpan& span : playback_spans(t.marks(), lo.x, width)) {
        const ImU32 colour =
            span.mark == Timeline::Mark::rendered ? IM_COL32(70, 190, 90, 255) : IM_COL32(200, 60, 50, 255);
        list->AddRectFilled(ImVec2(span.x0, hi.y - mark_h), ImVec2(span.x1, hi.y), colour);
    }

    // The current frame.
    const float cx = slot_centre(lo.x, width, double(t.index()), n);
    const float half = std::max(1.5f, slot * 0.5f);
    list->AddRectFilled(ImVec2(cx - half, lo.y), ImVec2(cx + half, hi.y), IM_COL32(255, 255, 255, 90));
    list->AddLine(ImVec2(cx, lo.y), ImVec2(cx, hi.y), IM_COL32(255, 255, 255, 230), 1.5f);

    // Keys where they fall in the shot's range: every keyed control's, then
    // the selected controls' over them; one diamond per column at most.
    const double first = double(t.frames().front());
    const double last = double(t.frames().back());
    const float r = height * 0.28f;
    const float cy = lo.y + height * 0.42f;
    const auto diamonds = [&](const std::vector<double>& times, ImU32 colour) {
        for (const float x : key_marks(times, first, last, n, lo.x, width))
            list->AddQuadFilled(ImVec2(x, cy - r), ImVec2(x + r, cy), ImVec2(x, cy + r), ImVec2(x - r, cy), colour);
    };
    diamonds(view.other_key_times, IM_COL32(170, 140, 80, 200));
    diamonds(view.key_times, IM_COL32(240, 190, 60, 255));
}

}  // namespace

TimeBarInput draw_time_bar(const Rect& area, const TimeBarView& view)
{
    TimeBarInput input;
    const Timeline& t = *view.timeline;
    begin_fixed_window("time", area, ImGuiWindowFlags_NoScrollbar);

    // Frame number, wide enough for the last frame's.
    const std::string widest = "frame " + std::to_string(t.frames().back()) + "  (" + view.showing + ")";
    const std::string frame = "frame " + std::to_string(t.frame()) + "  (" + view.showing + ")";
    const float text_y = (ImGui::GetFrameHeight() - ImGui::GetTextLineHeight()) * 0.5f;
    const float y0 = ImGui::GetCursorPosY();
    ImGui::SetCursorPosY(y0 + text_y);
    ImGui::TextUnformatted(frame.c_str());
    ImGui::SameLine(ImGui::GetStyle().WindowPadding.x + ImGui::CalcTextSize(widest.c_str()).x +
                    ImGui::GetStyle().ItemSpacing.x * 2.0f);

    const std::string range = std::to_string(t.frames().front()) + "-" + std::to_string(t.frames().back()) + ", " +
                              std::to_string(t.frames().size()) + (t.frames().size() == 1 ? " frame" : " frames") +
                              (view.selected.empty() ? "" : "   keys: " + view.selected);
    const float right = ImGui::CalcTextSize(range.c_str()).x + ImGui::GetStyle().ItemSpacing.x;
    const float track_w = std::max(40.0f, ImGui::GetContentRegionAvail().x - right);
    ImGui::SetCursorPosY(y0);
    ImGui::InvisibleButton("track", ImVec2(track_w, ImGui::GetFrameHeight()));
    const ImVec2 lo = ImGui::GetItemRectMin();
    const ImVec2 hi = ImGui::GetItemRectMax();
    if (ImGui::IsItemActive()) {
        input.scrubbing = true;
        const float at = (ImGui::GetIO().MousePos.x - lo.x) / (hi.x - lo.x);
        const double n = double(t.frames().size());
        input.go_to = std::size_t(std::clamp(std::floor(double(at) * n), 0.0, n - 1.0));
    }
    draw_track(lo, hi, view);
    ImGui::SameLine();
    ImGui::SetCursorPosY(y0 + text_y);
    ImGui::TextUnformatted(range.c_str());

    ImGui::SetCursorPosY(y0 + ImGui::GetFrameHeight() + ImGui::GetStyle().ItemSpacing.y);
    ImGui::TextUnformatted(view.status.c_str());
    for (const std::string& line : help_lines(help_room(area.width))) ImGui::TextDisabled("%s", line.c_str());
    ImGui::End();
    return input;
}

}  // namespace trellin_view
