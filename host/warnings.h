// Host-side capture of the warnings that `msgwarn` shows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "contract/host_api.h"

// Receives every warning instead of standard error while set; pass an empty
// function to go back to standard error. Safe to call from any thread.
using WarningSink = std::function<void(const std::string&)>;
HOST_API void set_warning_sink(WarningSink sink);

// Collects the warnings issued while it lives (restores the previous sink).
class HOST_API WarningCapture {
public:
    WarningCapture();
    ~WarningCapture();
    WarningCapture(const WarningCapture&) = delete;
    WarningCapture& operator=(const WarningCapture&) = delete;
    std::vector<std::string> messages() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};
