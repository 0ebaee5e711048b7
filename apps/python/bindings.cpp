// The Python module `trellin`: the effect on NumPy arrays.
//
// The module loads TrellinVx.node once, when it is imported, and keeps it
// loaded for the life of the process (nodes may outlive the module object at
// interpreter exit). Renders run without the GIL. A node is used by one
// thread at a time: a call on a node that another thread is using waits until
// that thread is done with it. Separate nodes render side by side.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "apps/common/core/alpha_clip.h"
#include "apps/common/core/control_setting.h"
#include "apps/common/core/environment_check.h"
#include "apps/common/core/control_text.h"
#include "apps/common/core/hdr_curve.h"
#include "apps/common/core/look_library.h"
#include "apps/common/core/module_loader.h"
#include "apps/common/core/node_recipe.h"
#include "apps/common/core/printable_text.h"
#include "apps/common/core/project_file.h"
#include "apps/common/core/render_options.h"
#include "apps/python/control_names.h"
#include "apps/python/sample_array.h"
#include "apps/python/script_node.h"

namespace py = pybind11;
using trellin_app::SettingError;
using trellin_python::ScriptNode;

// Set by the build: the effect module's folder relative to this file's folder,
// installed and in the build tree.
#ifndef TRELLIN_PYTHON_INSTALLED_MODULE_DIR
#define TRELLIN_PYTHON_INSTALLED_MODULE_DIR "../../trellin"
#endif
#ifndef TRELLIN_PYTHON_BUILD_MODULE_DIR
#define TRELLIN_PYTHON_BUILD_MODULE_DIR "../bin"
#endif

namespace {

constexpr int max_threads = 1024;

// Never unloaded: see the top of this file.
const trellin_app::NodeModule* effect = nullptr;

void load_effect()
{
    const std::string here = trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&load_effect));
    effect = new trellin_app::NodeModule(trellin_app::NodeModule::find_among(
        trellin_app::module_candidates(here, {TRELLIN_PYTHON_INSTALLED_MODULE_DIR, TRELLIN_PYTHON_BUILD_MODULE_DIR})));
}

// The folder whose ../share/trellin/looks holds the looks: the programs'
// folder when installed, this module's own folder in the build tree
// (build/python beside build/share).
std::string look_base_dir()
{
    const std::string here = trellin_app::loaded_file_dir(reinterpret_cast<const void*>(&load_effect));
    const std::string installed = here + "/" + TRELLIN_PYTHON_INSTALLED_BIN_DIR;
    std::error_code ec;
    return std::filesystem::is_directory(trellin_app::look_folder(installed), ec) ? installed : here;
}

// Takes the node's mutex; waits for it without the GIL, so that the thread
// using the node can finish (and take the GIL to return).
std::unique_lock<std::mutex> hold(ScriptNode& node)
{
    std::unique_lock<std::mutex> lock(node.mutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        py::gil_scoped_release release;
        lock.lock();
    }
    return lock;
}

// ---------------------------------------------------------------------------
// Values between Python and the setting texts of control_setting.h
// ---------------------------------------------------------------------------

// The shortest text that reads back as `v` ("0.1", "1e-05", "nan").
std::string shortest_text(double v)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::string text_of(const py::handle& h)
{
    return py::str(h);
}

std::string type_name(const py::handle& h)
{
    return text_of(h.get_type().attr("__name__"));
}

bool is_number(const py::handle& v)
{
    return py::isinstance<py::int_>(v) || py::isinstance<py::float_>(v);
}

// A NumPy scalar as the Python value it holds; anything else as it is.
py::object plain(const py::handle& value)
{
    static const py::object numpy_scalar = py::module_::import("numpy").attr("generic");
    if (py::isinstance(value, numpy_scalar)) return value.attr("item")();
    return py::reinterpret_borrow<py::object>(value);
}

// A Python value in setting form: text as it is, True/False as on/off,
// numbers, and a sequence of numbers as a colour "r,g,b[,a]".
std::string setting_text(const py::handle& given)
{
    const py::object v = plain(given);
    if (py::isinstance<py::str>(v)) return v.cast<std::string>();
    if (py::isinstance<py::bool_>(v)) return v.cast<bool>() ? "on" : "off";
    if (py::isinstance<py::int_>(v)) return text_of(v);
    if (py::isinstance<py::float_>(v)) return shortest_text(v.cast<double>());
    if (py::isinstance<py::sequence>(v) || py::isinstance<py::array>(v)) {
        std::string text;
        for (const py::handle& item : v) {
            const py::object c = plain(item);
            if (!is_number(c)) throw py::type_error("a colour is a sequence of numbers, not of " + type_name(c));
            text += (text.empty() ? "" : ",") + shortest_text(c.cast<double>());
        }
        return text;
    }
    throw py::type_error("a control value is a number, bool, str or a colour (r, g, b[, a]), not " + type_name(v));
}

// A numeric value: int for a control that takes whole numbers at a whole
// value, float otherwise (such a control between two keys may be between two
// whole numbers).
py::object numeric_value(const trellin_app::ControlFact& fact, double v)
{
    if (fact.form == trellin_app::ControlForm::whole_number && std::trunc(v) == v && std::fabs(v) < 1e15)
        return py::int_(static_cast<long long>(v));
    return py::float_(v);
}

// A control's values (CWidget::get_values) as Python: a number, bool, the
// option's item name, or the colour (r, g, b, a).
py::object python_value(const trellin_app::ControlFact& fact, const double* v)
{
    using trellin_app::ControlForm;
    switch (fact.form) {
    case ControlForm::number:
    case ControlForm::whole_number:
        return numeric_value(fact, v[0]);
    case ControlForm::switch_:
        return py::bool_(v[0] != 0.0);
    case ControlForm::choice: {
        const auto i = static_cast<std::size_t>(v[0]);
        if (v[0] >= 0.0 && i < fact.items.size()) return py::str(fact.items[i]);
        return py::int_(static_cast<long long>(v[0]));
    }
    case ControlForm::colour:
        return py::make_tuple(v[0], v[1], v[2], v[3]);
    }
    return py::none();
}

py::object current_value(const trellin_app::ControlFact& fact, const CWidget& control)
{
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    control.get_values(v);
    return python_value(fact, v);
}

py::object default_value(const trellin_app::ControlFact& fact)
{
    return python_value(fact, fact.fallback);
}

py::dict describe(const trellin_app::ControlFact& fact, const CWidget& control)
{
    using trellin_app::ControlForm;
    py::dict d;
    d["name"] = trellin_python::keyword_name(fact.label);
    d["label"] = fact.label;
    d["kind"] = trellin_app::kind_name(control.kind());
    d["range"] = trellin_app::range_text(control);
    if (fact.form == ControlForm::number || fact.form == ControlForm::whole_number) {
        d["minimum"] = fact.minimum;
        d["maximum"] = fact.maximum;
        d["step"] = fact.step;
    } else if (fact.form == ControlForm::choice) {
        py::list items;
        for (const std::string& item : fact.items) items.append(item);
        d["items"] = items;
    }
    d["default"] = default_value(fact);
    d["value"] = current_value(fact, control);
    py::list keys;
    for (const ControlKey& k : control.keys()) keys.append(py::make_tuple(k.time, python_value(fact, k.v)));
    d["keys"] = keys;
    return d;
}

// ---------------------------------------------------------------------------
// Arguments
// ---------------------------------------------------------------------------

std::string shape_text(const py::array& a)
{
    std::string text = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) text += (i == 0 ? "" : ", ") + std::to_string(a.shape(i));
    return text + (a.ndim() == 1 ? ",)" : ")");
}

// The array as a picture of samples; TypeError for what render does not take.
trellin_python::SampleArray sample_array(const py::handle& object)
{
    using trellin_python::SampleType;
    if (!py::isinstance<py::array>(object))
        throw py::type_error("render() takes a NumPy array of shape (height, width, 3 or 4), not " + type_name(object));
    const auto a = py::reinterpret_borrow<py::array>(object);
    const py::dtype dt = a.dtype();
    const char kind = dt.kind();
    const py::ssize_t size = dt.itemsize();
    SampleType type;
    if (kind == 'u' && size == 1)
        type = SampleType::uint8;
    else if (kind == 'u' && size == 2)
        type = SampleType::uint16;
    else if (kind == 'f' && size == 2)
        type = SampleType::half;
    else if (kind == 'f' && size == 4)
        type = SampleType::float32;
    else if (kind == 'f' && size == 8)
        type = SampleType::float64;
    else
        throw py::type_error("render() takes uint8, uint16, float16, float32 or float64 samples, not " + text_of(dt));
    if (dt.byteorder() == '>')
        throw py::type_error("render() takes samples in the machine's byte order, not big-endian " + text_of(dt));
    if (a.ndim() != 3 || (a.shape(2) != 3 && a.shape(2) != 4))
        throw py::type_error("render() takes an array of shape (height, width, 3 or 4), not " + shape_text(a));
    if (a.shape(0) < 1 || a.shape(1) < 1)
        throw py::type_error("render() takes a picture of at least one pixel, not shape " + shape_text(a));
    if (static_cast<long long>(a.shape(0)) * a.shape(1) > trellin_python::max_pixels)
        throw py::value_error("render(): picture too large (" + std::to_string(a.shape(1)) + "x" +
                              std::to_string(a.shape(0)) + "; at most " + std::to_string(trellin_python::max_pixels) +
                              " pixels)");
    trellin_python::SampleArray s;
    s.type = type;
    s.height = static_cast<int>(a.shape(0));
    s.width = static_cast<int>(a.shape(1));
    s.channels = static_cast<int>(a.shape(2));
    s.row_stride = a.strides(0);
    s.pixel_stride = a.strides(1);
    s.sample_stride = a.strides(2);
    s.data = const_cast<void*>(a.data());
    return s;
}

int thread_count(const py::object& threads)
{
    if (threads.is_none()) return 0;
    if (!py::isinstance<py::int_>(threads) || py::isinstance<py::bool_>(threads))
        throw py::type_error("threads is a whole number or None, not " + type_name(threads));
    const long long n = threads.cast<long long>();
    if (n < 1 || n > max_threads)
        throw py::value_error("threads=" + std::to_string(n) + ": out of range (1 to " + std::to_string(max_threads) +
                              ")");
    return static_cast<int>(n);
}

double frame_time(double time)
{
    if (!std::isfinite(time)) throw py::value_error("time=" + shortest_text(time) + ": not a finite number");
    return time;
}

// ---------------------------------------------------------------------------
// Node operations
// ---------------------------------------------------------------------------

// The mode `hdr` names; `fallback` for None.
trellin_app::HdrMode hdr_mode(const py::object& hdr, trellin_app::HdrMode fallback)
{
    if (hdr.is_none()) return fallback;
    if (!py::isinstance<py::str>(hdr))
        throw py::type_error("hdr is 'auto', 'split', 'log', 'none' or None, not " + type_name(hdr));
    const std::string text = hdr.cast<std::string>();
    trellin_app::HdrMode mode;
    if (!trellin_app::parse_hdr_mode(text, mode))
        throw py::value_error("hdr=" + text_of(py::repr(hdr)).substr(0, 40) +
                              ": unknown mode (use 'auto', 'split', 'log' or 'none')");
    return mode;
}

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", double(v));
    return text;
}

// A UserWarning telling how many samples of a float array the render
// clipped: colour, then alpha apart (alpha_clip.h), each with the range it
// lay outside. `beyond` of them were float64 values beyond float32's range.
void warn_clipped(const trellin_app::ClipCount& clip, trellin_app::HdrMode mode, long long beyond)
{
    using trellin_app::HdrMode;
    std::string text;
    if (clip.clipped > 0) {
        text = std::to_string(clip.clipped) + " of " + std::to_string(clip.total) + " samples lay outside ";
        text += mode == HdrMode::split ? "what hdr='split' carries (finite values)"
                : mode == HdrMode::log ? "the range of hdr='log' (" + number(float(trellin_app::hdr_log::lowest)) +
                                             " to " + number(float(trellin_app::hdr_log::highest)) + ")"
                                       : std::string("0..1");
        std::vector<std::string> what;
        if (clip.lowest <= clip.highest)
            what.push_back("lowest " + number(clip.lowest) + ", highest " + number(clip.highest));
        const long long not_numbers = clip.non_finite - beyond;
        if (not_numbers > 0) what.push_back(std::to_string(not_numbers) + " NaN or infinite");
        if (beyond > 0)
            what.push_back(std::to_string(beyond) + " beyond the range of float32 (" +
                           number(std::numeric_limits<float>::max()) + "), as which float64 samples are taken");
        std::string joined;
        for (const std::string& w : what) joined += (joined.empty() ? "" : ", ") + w;
        text += " (" + joined + ") and were clipped";
        if (mode == HdrMode::none) text += "; hdr='split' keeps colour values outside 0..1";
    }
    const std::string alpha = trellin_app::alpha_clip_note(clip);
    if (!alpha.empty()) text += (text.empty() ? "" : "; ") + alpha;
    if (text.empty()) return;
    text = "render(): " + text;
    if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0) throw py::error_already_set();
}

// Renders float samples in `mode`: clipped to 0..1 (none), on the log curve,
// or split at 0 and 1 and put together again. Samples clipped are counted.
void render_floats(ScriptNode& node, const trellin_python::SampleArray& in, const trellin_python::SampleArray& out,
                   double time, int procs, trellin_app::HdrMode mode, trellin_app::ClipCount& clip, long long& beyond)
{
    std::vector<float> f = trellin_python::floats_from_samples(in, &beyond);
    node.render_floats(f, in.width, in.height, in.channels, time, procs, mode, clip);
    trellin_python::samples_from_floats(f, out);
}

// The array a render writes: `out` when given (a writable array of the
// input's shape and dtype, which may be the input itself), else a new one.
py::array result_array(const py::object& array, const trellin_python::SampleArray& in, const py::object& out)
{
    const py::array input = py::reinterpret_borrow<py::array>(array);
    if (out.is_none()) return py::array(input.dtype(), std::vector<py::ssize_t>{in.height, in.width, in.channels});
    if (!py::isinstance<py::array>(out))
        throw py::type_error("render(): out must be a NumPy array, not " + type_name(out));
    py::array given = py::reinterpret_borrow<py::array>(out);
    if (given.ndim() != 3 || given.shape(0) != in.height || given.shape(1) != in.width ||
        given.shape(2) != in.channels || !given.dtype().is(input.dtype()))
        throw py::value_error("render(): out must have the input's shape (" + std::to_string(in.height) + ", " +
                              std::to_string(in.width) + ", " + std::to_string(in.channels) + ") and dtype " +
                              py::str(input.dtype()).cast<std::string>());
    if (!given.writeable()) throw py::value_error("render(): out is read-only");
    return given;
}

py::array render_array(ScriptNode& node, const py::object& array, double time, const py::object& threads,
                       const py::object& hdr, const py::object& out_array = py::none())
{
    using trellin_python::SampleType;
    const trellin_python::SampleArray in = sample_array(array);
    const int procs = thread_count(threads);
    frame_time(time);
    const bool floats = in.type == SampleType::half || in.type == SampleType::float32 || in.type == SampleType::float64;
    trellin_app::HdrMode mode;
    {
        auto lock = hold(node);
        mode = trellin_app::picture_hdr_mode(hdr_mode(hdr, node.hdr), floats);
    }
    trellin_app::ClipCount clip;
    long long beyond = 0;
    py::array result = result_array(array, in, out_array);
    trellin_python::SampleArray out = in;
    out.row_stride = result.strides(0);
    out.pixel_stride = result.strides(1);
    out.sample_stride = result.strides(2);
    out.data = result.mutable_data();
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(node.mutex());
        if (floats) {
            render_floats(node, in, out, time, procs, mode, clip, beyond);
        } else {
            trellin_python::picture_from_samples(in, node.input());
            trellin_python::samples_from_picture(node.render(time, procs), out);
        }
    }
    warn_clipped(clip, mode, beyond);
    return result;
}

void set_control(ScriptNode& node, const std::string& label, const py::handle& value)
{
    const std::string text = setting_text(value);
    auto lock = hold(node);
    node.set(label, text);
}

// Paths are str or os.PathLike.
void load_project(ScriptNode& node, const std::filesystem::path& file)
{
    const std::string path = file.string();
    {
        // OSError picks its subclass (FileNotFoundError, IsADirectoryError, ...) by the errno. The
        // file is opened without waiting (a pipe with no writer would hang the open) and must be a
        // regular file: a device or a pipe may never end.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int err = fd < 0 ? errno : 0;
        std::string why;
        struct stat status {};
        if (fd >= 0 && ::fstat(fd, &status) != 0) err = errno;
        if (fd >= 0 && err == 0 && S_ISDIR(status.st_mode)) err = EISDIR;
        if (fd >= 0 && err == 0 && !S_ISREG(status.st_mode)) {
            err = EINVAL;
            why = "not a regular file (a device or a pipe)";
        }
        if (fd >= 0) ::close(fd);
        if (err != 0) {
            if (why.empty()) why = std::generic_category().message(err);
            PyErr_SetObject(PyExc_OSError,
                            py::make_tuple(err, trellin_app::printable(path + ": cannot read: " + why)).ptr());
            throw py::error_already_set();
        }
    }
    auto lock = hold(node);
    try {
        node.load_project(path);
    } catch (const trellin_app::RecipeError& e) {
        throw py::value_error(trellin_app::printable(e.what()));
    } catch (const trellin_app::ProjectError& e) {
        throw py::value_error(trellin_app::printable(e.what()));
    }
}

void save_project(ScriptNode& node, const std::filesystem::path& file)
{
    const std::string path = file.string();
    auto lock = hold(node);
    try {
        node.save_project(path);
    } catch (const trellin_app::ProjectError& e) {
        PyErr_SetString(PyExc_OSError, trellin_app::printable(e.what()).c_str());
        throw py::error_already_set();
    }
}

// Restores the named look into `node` (ValueError naming the known looks).
void restore_look(ScriptNode& node, const std::string& name)
{
    try {
        node.load_look(name, look_base_dir());
    } catch (const trellin_app::RecipeError& e) {
        throw py::value_error(e.what());
    } catch (const trellin_app::ProjectError& e) {
        throw py::value_error(e.what());
    }
}

// A look (None: the defaults), then the controls given as keywords over it,
// as `trellin --look NAME --set ...` does. `call` names the function in errors.
void start_node(ScriptNode& node, const py::object& look, const py::kwargs& controls, const std::string& call)
{
    if (!look.is_none()) {
        if (!py::isinstance<py::str>(look))
            throw py::type_error("look is a look's name or None, not " + type_name(look));
        restore_look(node, look.cast<std::string>());
    }
    for (const auto& [name, value] : controls) {
        const std::string keyword = text_of(name);
        if (trellin_python::find_named_control(node.node(), node.facts(), keyword) == nullptr) {
            std::string hint = trellin_python::suggest_control(node.facts(), keyword);
            if (hint.empty()) hint = " (Node().controls lists the control names)";
            throw py::type_error(call + " got an unexpected keyword argument '" + keyword + "'" + hint);
        }
        node.set(keyword, setting_text(value));
    }
}

// trellin.Node(look='lit-domes', cell_size=0.5, cell_angle=<2 keys>): the look
// and every control that differs from where the node started.
std::string node_repr(const ScriptNode& node)
{
    std::string text = "trellin.Node(";
    std::string sep;
    if (!node.look().empty()) {
        text += "look=" + text_of(py::repr(py::str(node.look())));
        sep = ", ";
    }
    for (const CWidget* c : node.changed_controls()) {
        const trellin_app::ControlFact& fact = node.fact(*c);
        text += sep + trellin_python::keyword_name(fact.label) + "=";
        const std::size_t keys = c->keys().size();
        text += keys > 0 ? "<" + std::to_string(keys) + (keys == 1 ? " key>" : " keys>")
                         : text_of(py::repr(current_value(fact, *c)));
        sep = ", ";
    }
    return text + ")";
}

// One line per control for the docstring of render(): keyword name, the
// values it takes and its default, in Python's terms.
std::string keyword_list(const ScriptNode& node)
{
    using trellin_app::ControlForm;
    std::string text;
    for (const trellin_app::ControlFact& f : node.facts().controls) {
        const std::string takes = f.form == ControlForm::switch_ ? "True or False"
                                  : f.form == ControlForm::colour
                                      ? "(r, g, b, a), 0 to 1 each"
                                      : trellin_app::range_text(*node.node().control(f.control));
        text += "    " + trellin_python::keyword_name(f.label) + ": " + takes + "; default " +
                text_of(py::repr(default_value(f))) + "\n";
    }
    return text;
}

}  // namespace

PYBIND11_MODULE(trellin, m)
{
    // Every picture is a NumPy array: without NumPy the module would import
    // and then fail at the first call, so it fails here and says why.
    try {
        py::module_::import("numpy");
    } catch (py::error_already_set& e) {
        throw py::import_error(std::string("trellin needs NumPy, which this Python cannot import (Debian: apt install "
                                           "python3-numpy; pip: pip install numpy): ") +
                               e.what());
    }
    try {
        load_effect();
    } catch (const trellin_app::ModuleError& e) {
        throw py::import_error(e.what());
    }
    // A script goes on with the module's defaults, told which were taken.
    for (const std::string& fault : trellin_app::environment_faults()) {
        const std::string text = fault + " (taken as unset)";
        if (PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1) != 0) throw py::error_already_set();
    }

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const SettingError& e) {
            if (e.fault == SettingError::Fault::unknown_label) {
                // Labels come from the caller: the message is one bounded line, NUL bytes escaped.
                PyErr_SetString(PyExc_KeyError, trellin_app::printable(e.what()).c_str());
            } else {
                PyErr_SetString(PyExc_ValueError, trellin_app::printable(e.what()).c_str());
            }
        }
    });

    m.doc() =
        "The Trellin cell-glass effect on NumPy arrays.\n\n"
        "Pictures are arrays of shape (height, width, 3 or 4) of uint8, uint16, float16, float32 or\n"
        "float64 samples, converted as `trellin render` converts files of those depths (float64 as\n"
        "float32; a float64 picture comes back as float64).";
    m.attr("module_path") = effect->path();
    m.attr("node_type") = effect->type_name();

    // Every docstring starts with its own signature, in Python's words
    // (pybind11's would show C++ types and positional names).
    py::options options;
    options.disable_function_signatures();

    py::class_<ScriptNode>(m, "Node", R"(Node(look=None, **controls)

A node of the effect: its controls, keys and renders. It starts from the
named look (trellin.looks() lists them) or the defaults, then takes the
controls given as keywords, as `trellin --look NAME --set ...` does:
Node(look="lit-domes", cell_size=0.5).

A node is used by one thread at a time: a call on a node that another thread
is using waits until that thread is done. Renders release the GIL, so
separate nodes render side by side in separate threads.

Controls are named by their label as `trellin --set` takes it ("Index",
"Cell Count X", "CellShape"; any case) or by their keyword name
("cell_count_x"). Unknown names raise KeyError (with the closest name);
values a control refuses raise ValueError naming the control and the values
it takes. Values read back as Python values: counting controls (Cell Count X,
Smoothing) as int, switches as bool, options as their item names, the
colour as (r, g, b, a), other numbers as float.)")
        .def(py::init([](const py::object& look, const py::object& hdr, const py::kwargs& controls) {
                 auto node = std::make_unique<ScriptNode>(*effect);
                 node->hdr = hdr_mode(hdr, trellin_app::HdrMode::automatic);
                 start_node(*node, look, controls, "Node()");
                 return node;
             }),
             py::arg("look") = py::none(), py::arg("hdr") = py::none())
        .def_property(
            "hdr",
            [](ScriptNode& node) {
                auto lock = hold(node);
                return std::string(trellin_app::hdr_mode_name(node.hdr));
            },
            [](ScriptNode& node, const py::object& hdr) {
                const trellin_app::HdrMode mode = hdr_mode(hdr, trellin_app::HdrMode::automatic);
                auto lock = hold(node);
                node.hdr = mode;
            },
            "How renders that name no mode treat float samples outside 0..1: 'auto' (the default),\n"
            "'split', 'log' or 'none'; see render.")
        .def("__repr__",
             [](ScriptNode& node) {
                 auto lock = hold(node);
                 return node_repr(node);
             })
        .def_property_readonly(
            "controls",
            [](ScriptNode& node) {
                auto lock = hold(node);
                py::list list;
                for (const trellin_app::ControlFact& f : node.facts().controls)
                    list.append(describe(f, *node.node().control(f.control)));
                return list;
            },
            "Every value control in creation order, as a dict: name (keyword name), label, kind\n"
            "(numeric, boolean, option, colour), range (in words), minimum, maximum and step (numeric),\n"
            "items (option), default, value and keys (a list of (time, value)).")
        .def_property_readonly(
            "look_name",
            [](ScriptNode& node) {
                auto lock = hold(node);
                return node.look().empty() ? py::object(py::none()) : py::object(py::str(node.look()));
            },
            "The look the node was last restored from, or None (after a project, or none at all).")
        .def("set", &set_control, py::arg("label"), py::arg("value"),
             "set(label, value)\n\n"
             "Holds a control at a value for every frame (its keys are dropped), as `trellin --set`\n"
             "does. Values: a number, True/False, an item name or index, a colour (r, g, b[, a]) of\n"
             "0..1 each; text in --set form is taken too.")
        .def("__setitem__", &set_control, py::arg("label"), py::arg("value"),
             "node[label] = value is node.set(label, value).")
        .def(
            "__getitem__",
            [](ScriptNode& node, const std::string& label) {
                auto lock = hold(node);
                const CWidget& c = node.control(label);
                return current_value(node.fact(c), c);
            },
            py::arg("label"),
            "node[label]: the control's value now (for a keyed control, its value at the last frame\n"
            "rendered).")
        .def(
            "key",
            [](ScriptNode& node, const std::string& label, double time, const py::handle& value) {
                const std::string text = setting_text(value);
                auto lock = hold(node);
                node.key(label, frame_time(time), text);
            },
            py::arg("label"), py::arg("time"), py::arg("value"),
            "key(label, time, value)\n\n"
            "Adds an animation key at `time` (frames), as `trellin --key LABEL@TIME=VALUE` does;\n"
            "a key at the same time is replaced.")
        .def(
            "clear_keys",
            [](ScriptNode& node, const std::string& label) {
                auto lock = hold(node);
                node.clear_keys(label);
            },
            py::arg("label"),
            "clear_keys(label)\n\n"
            "Removes every key of the control; it keeps its value now.")
        .def("load_project", &load_project, py::arg("path"),
             "load_project(path)\n\n"
             "Replaces every control's value and keys by those of a project file (`trellin --project`).\n"
             "FileNotFoundError or OSError when it cannot be read, ValueError naming the fault when it\n"
             "is refused; the node is then unchanged.")
        .def(
            "look",
            [](ScriptNode& node, const std::string& name) {
                auto lock = hold(node);
                restore_look(node, name);
            },
            py::arg("name"),
            "look(name)\n\n"
            "Replaces every control's value and keys by those of a named look (`trellin --look`;\n"
            "trellin.looks() lists them). ValueError naming the known looks when there is none of that\n"
            "name; the node is then unchanged.")
        .def("save_project", &save_project, py::arg("path"),
             "save_project(path)\n\n"
             "Writes every control's value and keys to a project file (`trellin --save-project`),\n"
             "complete or not at all (OSError).")
        .def(
            "render",
            [](ScriptNode& node, const py::object& array, double time, const py::object& threads, const py::object& hdr,
               const py::object& out) { return render_array(node, array, time, threads, hdr, out); },
            py::arg("array"), py::arg("time") = 0.0, py::arg("threads") = py::none(), py::arg("hdr") = py::none(),
            py::arg("out") = py::none(),
            "render(array, time=0.0, threads=None, hdr=None, out=None)\n\n"
            "Renders the picture as the frame at `time` and returns a new array of the same shape\n"
            "and dtype, or writes it into `out` (an array of that shape and dtype, which may be `array`\n"
            "itself) and returns `out`, so that a run of frames takes no new memory. Takes (height, width, 3 or 4) "
            "arrays of uint8, uint16, float16, float32 or\n"
            "float64 (TypeError otherwise). threads: processors to render on (default: all, or\n"
            "TRELLIN_THREADS). hdr (default: the node's hdr) says what happens to float samples outside 0..1:\n"
            "  'split': the picture within 0..1 renders as with 'none', the part above 1 (and below 0)\n"
            "           renders through the same glass with a black light and is added back\n"
            "  'log':   carried from -0.135 to 1024 on a logarithmic curve (the look changes)\n"
            "  'none':  clipped to 0..1\n"
            "  'auto':  'split' (integer samples always lie within 0..1)\n"
            "Samples clipped (NaN, infinities, alpha outside 0..1, and with 'none' anything outside\n"
            "0..1) are counted in a UserWarning. float16 results beyond 65504 are written as 65504.");

    m.def(
        "looks",
        [] {
            py::list result;
            for (const trellin_app::LookEntry& look : trellin_app::list_looks(look_base_dir()))
                result.append(py::make_tuple(look.name, look.summary));
            return result;
        },
        "looks()\n\n"
        "The named looks as (name, summary) pairs, in name order (`trellin looks`).");

    const ScriptNode probe(*effect);
    m.def(
        "render",
        [](const py::object& array, double time, const py::object& look, const py::object& hdr,
           const py::kwargs& controls) {
            ScriptNode node(*effect);
            start_node(node, look, controls, "render()");
            return render_array(node, array, time, py::none(), hdr);
        },
        py::arg("array"), py::arg("time") = 0.0, py::arg("look") = py::none(), py::arg("hdr") = py::none(),
        ("render(array, time=0.0, look=None, hdr=None, **controls)\n\n"
         "Renders the picture through a new node that starts from the named look (or the\n"
         "defaults) and takes the controls given as keywords over it (cell_shape=\"Hexagon\",\n"
         "cell_count_x=20, light_active=True); returns a new array, as Node.render does.\n"
         "The keywords:\n" +
         keyword_list(probe))
            .c_str());
}
