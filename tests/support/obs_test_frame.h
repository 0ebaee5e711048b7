// Asynchronous OBS frames the tests make and read: planes of their own with
// rows longer than the picture (so a stride taken for a width shows), and
// the colour description OBS gives such a frame.
#pragma once

#include <obs.h>

#include <cstdint>
#include <vector>

namespace obs_test {

struct TestFrame {
    std::vector<std::uint8_t> planes[3];
    obs_source_frame frame{};

    TestFrame(video_format format, int width, int height, video_colorspace space = VIDEO_CS_709,
              video_range_type range = VIDEO_RANGE_PARTIAL)
    {
        const std::uint32_t w = std::uint32_t(width), h = std::uint32_t(height);
        const std::uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        const std::uint32_t pad = 8;
        struct Plane {
            std::uint32_t linesize, rows;
        };
        std::vector<Plane> layout;
        switch (format) {
        case VIDEO_FORMAT_NV12:
            layout = {{w + pad, h}, {cw * 2 + pad, ch}};
            break;
        case VIDEO_FORMAT_I420:
            layout = {{w + pad, h}, {cw + pad, ch}, {cw + pad, ch}};
            break;
        case VIDEO_FORMAT_I444:
            layout = {{w + pad, h}, {w + pad, h}, {w + pad, h}};
            break;
        case VIDEO_FORMAT_YUY2:
        case VIDEO_FORMAT_UYVY:
            layout = {{cw * 4 + pad, h}};
            break;
        case VIDEO_FORMAT_P010:
            layout = {{w * 2 + pad, h}, {cw * 4 + pad, ch}};
            break;
        default:
            layout = {{w * 4 + pad, h}};
            break;
        }
        for (std::size_t p = 0; p < layout.size(); ++p) {
            planes[p].assign(std::size_t(layout[p].linesize) * layout[p].rows, 0);
            frame.data[p] = planes[p].data();
            frame.linesize[p] = layout[p].linesize;
        }
        frame.width = w;
        frame.height = h;
        frame.format = format;
        frame.full_range = range == VIDEO_RANGE_FULL;
        video_format_get_parameters_for_format(space, range, format, frame.color_matrix, frame.color_range_min,
                                               frame.color_range_max);
    }

    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;
};

}  // namespace obs_test
