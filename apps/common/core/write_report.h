// What writing a picture or a frame reports: the format and samples written,
// and what the format could not hold.
#pragma once

#include <string>

namespace trellin_app {

// What a write wrote (write_picture, picture/image_io.h).
struct WriteReport {
    std::string format;       // the format's name
    std::string sample_type;  // "uint8", "uint16", "half", ...
    int channels = 0;
    bool alpha_dropped = false;     // the format holds no alpha; colour only was written
    bool settings_dropped = false;  // the settings were too large for the format; none were written
};

}  // namespace trellin_app
