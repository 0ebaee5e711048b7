// Base of every effect written on the framework: the per-frame context the
// node fills in, and the lifecycle operations it calls.
#pragma once

#include "contract/host_api.h"

namespace vx {

class PluginVx {
public:
    PluginVx() = default;
    virtual ~PluginVx() = default;
    PluginVx(const PluginVx&) = delete;
    PluginVx& operator=(const PluginVx&) = delete;

    // Time of the frame being processed, as the host passed it.
    double time = 0.0;
    // Length of input 0 as the host reports it.
    double input_length = 0.0;
    // Set by a handle that takes a mouse press; cleared by the node before it
    // passes a press on.
    bool overlay_event_taken = false;

    // Whether the effect's render reads the input record from the host
    // picture itself when the node leaves it unread, so that the reading can
    // go with other work. By default the node reads it first.
    virtual bool reads_host_input() const { return false; }
    // Runs once in the life of a node, right before its first render.
    virtual void on_first_frame() {}

    // The host node whose cancellation requests the render answers; none
    // (never cancelled) until the node binds itself.
    const FXNode* host_node = nullptr;

    // The cancellation poll of the render and its row workers: true once the
    // host has asked to abandon the frame. Safe to call from any thread.
    bool abort_requested() const { return host_node != nullptr && host_node->abort_pending(); }
};

}  // namespace vx
