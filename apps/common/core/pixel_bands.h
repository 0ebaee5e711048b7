// Work over the samples of a frame shared out over the host's processors:
// one band of consecutive pixels each, run at once on the host's pool (the
// one the effect renders with). Each pixel's arithmetic is the same whichever
// band holds it, and what bands add up (counts, extremes) is combined in band
// order, so results do not depend on the number of processors.
#pragma once

#include <cstddef>

#include "contract/host_api.h"

namespace trellin_app {

// The number of bands for_pixel_bands cuts a frame into now: the host's
// processor count (1 for frames too small to be worth sharing out).
int pixel_band_count(std::size_t pixels);

// Calls fn(band, first, end) for bands 0 .. pixel_band_count(pixels) - 1,
// which cover pixels 0 .. pixels - 1 once, in order; concurrently from several
// threads. Returns when every band is done.
template <class Fn>
void for_pixel_bands(std::size_t pixels, const Fn& fn)
{
    struct Job {
        const Fn* fn;
        std::size_t pixels;
        int bands;

        void band(int k) const
        {
            (*fn)(k, pixels * std::size_t(k) / std::size_t(bands), pixels * std::size_t(k + 1) / std::size_t(bands));
        }
        static void run(void* job)
        {
            const Job& j = *static_cast<const Job*>(job);
            if (smp_id() < j.bands) j.band(smp_id());
        }
    };
    const Job job{&fn, pixels, pixel_band_count(pixels)};
    if (job.bands == 1)
        job.band(0);
    else
        smp_exec(&Job::run, const_cast<Job*>(&job));
}

// Calls fn(first, end) for bands of whole rows first .. end - 1 of a
// picture `rows` high and `width` pixels wide, at once as for_pixel_bands
// shares out its pixels (a row goes to the band that holds its last pixel).
template <class Fn>
void for_row_bands(int rows, int width, const Fn& fn)
{
    const std::size_t w = std::size_t(width);
    if (rows <= 0 || width <= 0) return;
    for_pixel_bands(std::size_t(rows) * w, [&](int, std::size_t first, std::size_t end) {
        const int from = int((first + w - 1) / w), to = int((end + w - 1) / w);
        if (from < to) fn(from, to);
    });
}

}  // namespace trellin_app
