// trellin overlay IN OUT: the effect's on-screen handles drawn over its
// rendered frame, as a viewer showing the picture at 1:1 draws them, with
// drags delivered as a viewer delivers them.
//
// Order of a run: the node is set up (project, keys, settings); each --drag,
// in the order given, is preceded by a draw of the overlay (handles can only
// be caught where they were last drawn) and delivered as a press, a move with
// the button held and a release; then the frame is rendered, so the picture
// shows the moved handles' effect; then the overlay is drawn once more over
// the rendered picture and the composite is written. A drag holds the
// controls it moves for the whole run, as --set does (their keys are
// dropped).
//
// The view is a headless OpenGL context (no display needed) of the output's
// size: one unit per pixel, the picture's centre at the origin, y downwards,
// so handle and mouse positions are pixels of the output picture with the
// origin at its top-left corner. The composite is written as RGB, 8 bits per
// sample where the format takes 8 bits (the view's own depth).
#include <array>
#include <iostream>
#include <memory>
#include <vector>

#include "apps/common/core/control_text.h"
#include "apps/common/core/frame_render.h"
#include "apps/common/core/output_file.h"
#include "apps/common/core/sample_convert.h"
#include "apps/gl/headless_view.h"
#include "apps/trellin/command_support.h"
#include "apps/trellin/pictures/overlay_arguments.h"

using namespace trellin_app;

namespace trellin_cli {

namespace {

struct Drag {
    float x0, y0, x1, y1;
};

Drag parse_drag(const std::string& text)
{
    const Failure bad{exit_usage, "--drag " + text +
                                      ": expected X0,Y0:X1,Y1 in pixels of the picture (e.g. "
                                      "960,540:192,108)"};
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) throw bad;
    double v[4];
    const std::string points[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int p = 0; p < 2; ++p) {
        const std::size_t comma = points[p].find(',');
        if (comma == std::string::npos || !parse_number(points[p].substr(0, comma), v[p * 2]) ||
            !parse_number(points[p].substr(comma + 1), v[p * 2 + 1]))
            throw bad;
    }
    // Positions far outside any picture are still positions; keep them finite as floats.
    for (double& d : v) {
        if (d > 1e9 || d < -1e9) throw bad;
    }
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[3])};
}

// Brings every control to its value at `time` and lets the node copy them
// into the effect: the node's own evaluation copies the values as they stood
// before it evaluates, so a second evaluation "now" (-1.0, which changes no
// control) copies the evaluated ones.
void evaluate_now(FXNode& node, double time)
{
    node.evaluate_controls(time, false);
    node.evaluate_controls(-1.0, false);
}

// Every value control's values, in creation order.
std::vector<std::array<double, 4>> control_values(const FXNode& node)
{
    std::vector<std::array<double, 4>> values(static_cast<std::size_t>(node.num_controls()));
    for (int i = 0; i < node.num_controls(); ++i) {
        values[static_cast<std::size_t>(i)].fill(0.0);
        if (const CWidget* c = node.control(i)) c->get_values(values[static_cast<std::size_t>(i)].data());
    }
    return values;
}

class OverlayCommand : public Command, OverlayArguments {
public:
    CLI::App* add_to(CLI::App& app) override { return declare(app); }

    int run() override
    {
        const NodeSettings settings = parse_node_settings(options_, controls_);
        std::vector<Drag> drags;
        for (const std::string& text : drags_) drags.push_back(parse_drag(text));
        check_output(output_);
        check_folder_writable(output_);
        check_picture_files(input_, output_, controls_);
        remove_stale_temporaries(output_);

        NodeModule module = load_module();
        NodePtr node = prepare_node(module, controls_, settings);
        HostPicture picture;
        try {
            picture = read_picture(input_);
        } catch (const PictureError& e) {
            throw Failure{exit_usage, e.what()};
        }

        std::string error;
        std::unique_ptr<trellin_gl::HeadlessView> view =
            trellin_gl::HeadlessView::create(picture.width, picture.height, error);
        if (!view) throw Failure{exit_failed, "cannot draw the overlay: " + error};

        // The viewer's picture: the node's output, which the handles measure.
        node->set_output_size(picture.width, picture.height);
        node->set_aspect(picture.pixel_aspect);
        node->set_input_length(1);
        node->notify_output_changed();

        const double time = 0.0;
        for (const Drag& d : drags) {
            evaluate_now(*node, time);
            view->clear(0.0f, 0.0f, 0.0f, 1.0f);
            node->draw_overlay(nullptr);
            const auto before = control_values(*node);
            FXMouseEvent event;
            event.x = d.x0;
            event.y = d.y0;
            event.button = 1.0f;
            node->overlay_event(nullptr, OverlayEventKind::press, &event);
            event.x = d.x1;
            event.y = d.y1;
            node->overlay_event(nullptr, OverlayEventKind::move, &event);
            event.button = 0.0f;
            node->overlay_event(nullptr, OverlayEventKind::release, &event);
            // What the drag moved holds for the whole run.
            const auto after = control_values(*node);
            for (int i = 0; i < node->num_controls(); ++i) {
                if (before[static_cast<std::size_t>(i)] != after[static_cast<std::size_t>(i)])
                    node->control(i)->clear_keys();
            }
        }

        use_threads(options_.threads);
        HostPicture result;
        if (render_frame(*node, picture, result, time) == 0)
            throw Failure{exit_failed, input_ + ": the effect refused the frame (see its warning above)"};

        view->make_current();
        view->clear(0.0f, 0.0f, 0.0f, 1.0f);
        view->draw_picture(result.data.data(), result.samples);
        node->draw_overlay(nullptr);
        const std::vector<std::uint8_t> rgba = view->read_rgba8();

        HostPicture composite(picture.width, picture.height, 3);
        composite.pixel_aspect = result.pixel_aspect;
        composite.attributes = result.attributes;
        for (std::size_t i = 0, n = std::size_t(picture.width) * std::size_t(picture.height); i < n; ++i) {
            for (int c = 0; c < 3; ++c)
                composite.data[i * 3 + std::size_t(c)] = from_8bit(rgba[i * 4 + std::size_t(c)]);
        }
        WriteOptions write_options;
        try {
            check_sample_depth(output_, SampleDepth::uint8);
            write_options.depth = SampleDepth::uint8;
        } catch (const PictureError&) {
            // A format without 8-bit samples gets the 8-bit values at its own depth.
        }
        try {
            write_picture(composite, output_, write_options);
        } catch (const PictureError& e) {
            throw Failure{exit_failed, e.what()};
        }

        if (print_controls_) {
            for (int i = 0; i < node->num_controls(); ++i) {
                const CWidget* c = node->control(i);
                if (c == nullptr || c->value_count() == 0) continue;
                std::cout << setting_label(*c) << "=" << value_text(*c) << "\n";
            }
        }
        save_project_if_asked(*node, controls_);
        return exit_done;
    }

private:
};

}  // namespace

std::unique_ptr<Command> make_overlay_command()
{
    return std::make_unique<OverlayCommand>();
}

}  // namespace trellin_cli
