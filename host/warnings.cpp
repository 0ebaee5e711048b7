// Warnings: standard error by default, or whatever sink the host program set.
#include <cstdio>
#include <mutex>
#include <utility>

#include "host/warnings.h"

namespace {

struct SinkSlot {
    std::mutex lock;
    std::shared_ptr<const WarningSink> sink;  // null: standard error
};

SinkSlot& slot()
{
    static SinkSlot* s = new SinkSlot;  // warnings may come during static destruction
    return *s;
}

std::shared_ptr<const WarningSink> current_sink()
{
    SinkSlot& s = slot();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.sink;
}

void install_sink(std::shared_ptr<const WarningSink> sink)
{
    SinkSlot& s = slot();
    std::lock_guard<std::mutex> hold(s.lock);
    s.sink = std::move(sink);
}

}  // namespace

void set_warning_sink(WarningSink sink)
{
    install_sink(sink ? std::make_shared<const WarningSink>(std::move(sink)) : nullptr);
}

void msgwarn(const char* text)
{
    std::string message = text != nullptr ? text : "";
    // The sink is called outside the lock so that it may itself warn or
    // change the sink; the shared pointer keeps it alive meanwhile.
    std::shared_ptr<const WarningSink> sink = current_sink();
    if (sink) {
        (*sink)(message);
        return;
    }
    message += '\n';
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
}

struct WarningCapture::State {
    mutable std::mutex lock;
    std::vector<std::string> messages;
    std::shared_ptr<const WarningSink> previous;
};

WarningCapture::WarningCapture() : state_(std::make_shared<State>())
{
    state_->previous = current_sink();
    std::shared_ptr<State> state = state_;
    install_sink(std::make_shared<const WarningSink>([state](const std::string& text) {
        std::lock_guard<std::mutex> hold(state->lock);
        state->messages.push_back(text);
    }));
}

WarningCapture::~WarningCapture()
{
    install_sink(state_->previous);
}

std::vector<std::string> WarningCapture::messages() const
{
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->messages;
}
