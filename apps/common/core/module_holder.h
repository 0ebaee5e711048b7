// The effect module as a plug-in holds it: found and loaded once per process,
// by whichever thread asks first, and kept loaded until the process ends (a
// host may make and drop instances from any thread at any time, and a node
// still alive somewhere keeps using the module).
#pragma once

#include <exception>
#include <mutex>
#include <string>

namespace trellin_app {

// `Effect` is what the plug-in keeps of its module: the NodeModule and what
// it read off a first node. `load` makes it, throwing a std::exception whose
// message says why it cannot; `report`, when given, is told that message
// once.
template <typename Effect>
class ModuleHolder {
public:
    using Load = Effect (*)();
    using Report = void (*)(const std::string& message);

    explicit ModuleHolder(Load load, Report report = nullptr) : load_(load), report_(report) {}
    ModuleHolder(const ModuleHolder&) = delete;
    ModuleHolder& operator=(const ModuleHolder&) = delete;

    // The loaded effect; null when it could not be loaded.
    const Effect* get()
    {
        std::call_once(once_, [this] { load_once(); });
        return effect_;
    }

    // Why the effect could not be loaded; empty when it was.
    const std::string& error()
    {
        get();
        return error_;
    }

private:
    void load_once()
    {
        try {
            // Never deleted: see the top of this file.
            effect_ = new Effect(load_());
        } catch (const std::exception& e) {
            error_ = e.what();
            if (error_.empty()) error_ = "the effect module could not be loaded";
            if (report_ != nullptr) report_(error_);
        }
    }

    Load load_;
    Report report_;
    std::once_flag once_;
    const Effect* effect_ = nullptr;
    std::string error_;
};

}  // namespace trellin_app
