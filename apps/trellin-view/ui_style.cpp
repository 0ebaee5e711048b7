#include "apps/trellin-view/ui_style.h"

#include <imgui.h>

#include <cmath>
#include <filesystem>
#include <system_error>

namespace trellin_view {

void set_up_ui(double scale)
{
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    // A narrow grab, half see-through: the value's digits stay readable
    // wherever the grab stands.
    style.GrabMinSize = 4.0f;
    style.Colors[ImGuiCol_SliderGrab].w = 0.55f;
    style.Colors[ImGuiCol_SliderGrabActive].w = 0.75f;
    style.ScaleAllSizes(static_cast<float>(scale));

    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    std::error_code ec;
    ImFont* font = nullptr;
    if (std::filesystem::exists(ui_font_path, ec)) {
        font = io.Fonts->AddFontFromFileTTF(ui_font_path, std::round(14.0f * static_cast<float>(scale)));
    }
    if (font == nullptr) {
        ImFontConfig config;
        config.SizePixels = std::round(13.0f * static_cast<float>(scale));
        io.Fonts->AddFontDefault(&config);
    }
}

void begin_fixed_window(const char* name, const Rect& area, int flags)
{
    ImGui::SetNextWindowPos(ImVec2(static_cast<float>(area.x), static_cast<float>(area.y)));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(area.width), static_cast<float>(area.height)));
    ImGui::Begin(name, nullptr,
                 flags | ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
}

}  // namespace trellin_view
