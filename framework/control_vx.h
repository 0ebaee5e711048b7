// Typed controls: the effect's cached view of its host controls, in the form
// the render wants (double, truncated integer, 1-based list item, 15-bit
// colour samples).
#pragma once

#include <cstdint>

#include "contract/host_api.h"

namespace vx {

class ControlVx {
public:
    CWidget* host = nullptr;     // the bound host control (a position's x control)
    CNumeric* host_y = nullptr;  // a position's y control
    FXNode* node = nullptr;      // the owning node
    bool hidden = false;
    bool disabled = false;

    // Copies the host value into the cached value. Reads only.
    virtual void pull() = 0;
    // Hides / greys out every bound host control (x first, then y).
    virtual void set_hidden(bool state);
    virtual void set_disabled(bool state);

protected:
    ControlVx() = default;
    ~ControlVx() = default;
};

class FloatControlVx : public ControlVx {
public:
    double value = 0.0;
    void pull() override;
};

class IntegerControlVx : public ControlVx {
public:
    std::int32_t value = 0;
    void pull() override;
};

class CheckboxControlVx : public ControlVx {
public:
    bool value = false;
    void pull() override;
    // Lets the node evaluate its controls at `time` (when bound to one), then
    // reads the host checkbox; `result` is 1 when it is set, else 0.
    void value_at(double time, int& result);
};

class ListControlVx : public ControlVx {
public:
    std::int32_t value = 0;  // 1-based item number
    void pull() override;
};

class PositionControlVx : public ControlVx {
public:
    double x = 0.0;
    double y = 0.0;
    void pull() override;
};

class ColourControlVx : public ControlVx {
public:
    std::uint16_t r = 0, g = 0, b = 0, a = 0;  // 0..32767
    void pull() override;
};

class AngleControlVx : public ControlVx {
public:
    double value = 0.0;  // degrees
    void pull() override;
};

}  // namespace vx
