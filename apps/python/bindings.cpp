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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "apps/common/control_setting.h"
#include "apps/common/control_text.h"
#include "apps/common/look_library.h"
#include "apps/common/module_loader.h"
#include "apps/common/printable_text.h"
#include "apps/common/project_file.h"
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

// A control's values (CWidget::get_values) as Python: float, bool, the
// option's item name, or the colour (r, g, b, a).
py::object python_value(const CWidget& control, const double* v)
{
    switch (control.kind()) {
    case ControlKind::numeric:
        return py::float_(v[0]);
    case ControlKind::boolean:
        return py::bool_(v[0] != 0.0);
    case ControlKind::option: {
        const auto& items = static_cast<const COption&>(control).items();
        const auto i = static_cast<std::size_t>(v[0]);
        if (v[0] >= 0.0 && i < items.size()) return py::str(items[i]);
        return py::int_(static_cast<long long>(v[0]));
    }
    case ControlKind::color:
        return py::make_tuple(v[0], v[1], v[2], v[3]);
    case ControlKind::label:
        break;
    }
    return py::none();
}

py::object current_value(const CWidget& control)
{
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    control.get_values(v);
    return python_value(control, v);
}

py::object default_value(const CWidget& control)
{
    switch (control.kind()) {
    case ControlKind::numeric:
        return py::float_(static_cast<const CNumeric&>(control).default_value);
    case ControlKind::boolean:
        return py::bool_(static_cast<const CBoolean&>(control).default_state);
    case ControlKind::option: {
        const double v = static_cast<const COption&>(control).default_index;
        return python_value(control, &v);
    }
    case ControlKind::color:
        return python_value(control, static_cast<const CColor&>(control).default_rgba);
    case ControlKind::label:
        break;
    }
    return py::none();
}

py::dict describe(const CWidget& control)
{
    py::dict d;
    d["name"] = trellin_python::keyword_name(control);
    d["label"] = trellin_app::setting_label(control);
    d["kind"] = trellin_app::kind_name(control.kind());
    d["range"] = trellin_app::range_text(control);
    if (control.kind() == ControlKind::numeric) {
        const auto& n = static_cast<const CNumeric&>(control);
        d["minimum"] = n.minimum;
        d["maximum"] = n.maximum;
        d["step"] = n.step;
    } else if (control.kind() == ControlKind::option) {
        py::list items;
        for (const std::string& item : static_cast<const COption&>(control).items()) items.append(item);
        d["items"] = items;
    }
    d["default"] = default_value(control);
    d["value"] = current_value(control);
    py::list keys;
    for (const ControlKey& k : control.keys()) keys.append(py::make_tuple(k.time, python_value(control, k.v)));
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
    else
        throw py::type_error("render() takes uint8, uint16, float16 or float32 samples, not " + text_of(dt));
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

py::array render_array(ScriptNode& node, const py::object& array, double time, const py::object& threads)
{
    const trellin_python::SampleArray in = sample_array(array);
    const int procs = thread_count(threads);
    frame_time(time);
    py::array result(py::reinterpret_borrow<py::array>(array).dtype(),
                     std::vector<py::ssize_t>{in.height, in.width, in.channels});
    trellin_python::SampleArray out = in;
    out.row_stride = result.strides(0);
    out.pixel_stride = result.strides(1);
    out.sample_stride = result.strides(2);
    out.data = result.mutable_data();
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(node.mutex());
        trellin_python::picture_from_samples(in, node.input());
        trellin_python::samples_from_picture(node.render(time, procs), out);
    }
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

// One line per control for the docstring of render(): keyword name, the
// values it takes and its default, in Python's terms.
std::string keyword_list(const FXNode& node)
{
    std::string text;
    for (int i = 0; i < node.num_controls(); ++i) {
        const CWidget* c = node.control(i);
        if (c == nullptr || c->kind() == ControlKind::label) continue;
        const std::string takes = c->kind() == ControlKind::boolean ? "True or False"
                                  : c->kind() == ControlKind::color ? "(r, g, b, a), 0 to 1 each"
                                                                    : trellin_app::range_text(*c);
        text += "    " + trellin_python::keyword_name(*c) + ": " + takes + "; default " +
                text_of(py::repr(default_value(*c))) + "\n";
    }
    return text;
}

}  // namespace

PYBIND11_MODULE(trellin, m)
{
    try {
        load_effect();
    } catch (const trellin_app::ModuleError& e) {
        throw py::import_error(e.what());
    }

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const SettingError& e) {
            if (e.fault == SettingError::Fault::unknown_label) {
                // Labels come from the caller: the message is one bounded line, NUL bytes escaped.
                PyErr_SetString(
                    PyExc_KeyError,
                    trellin_app::printable(std::string(e.what()) + " (Node().controls lists the controls)").c_str());
            } else {
                PyErr_SetString(PyExc_ValueError, trellin_app::printable(e.what()).c_str());
            }
        }
    });

    m.doc() =
        "The Trellin cell-glass effect on NumPy arrays.\n\n"
        "Pictures are arrays of shape (height, width, 3 or 4) of uint8, uint16, float16 or float32\n"
        "samples, converted as `trellin render` converts files of those depths.";
    m.attr("module_path") = effect->path();
    m.attr("node_type") = effect->type_name();

    py::class_<ScriptNode>(m, "Node", R"(A node of the effect: its controls, keys and renders.

A node is used by one thread at a time: a call on a node that another thread
is using waits until that thread is done. Renders release the GIL, so
separate nodes render side by side in separate threads.

Controls are named by their label as `trellin --set` takes it ("Index",
"Cell Count X", "CellShape"; any case) or by their keyword name
("cell_count_x"). Unknown names raise KeyError; values a control refuses
raise ValueError naming the control and the values it takes.)")
        .def(py::init([] { return std::make_unique<ScriptNode>(*effect); }))
        .def_property_readonly(
            "controls",
            [](ScriptNode& node) {
                auto lock = hold(node);
                py::list list;
                for (int i = 0; i < node.node().num_controls(); ++i) {
                    const CWidget* c = node.node().control(i);
                    if (c != nullptr && c->kind() != ControlKind::label) list.append(describe(*c));
                }
                return list;
            },
            "Every value control in creation order, as a dict: name (keyword name), label, kind\n"
            "(numeric, boolean, option, colour), range (in words), minimum, maximum and step (numeric),\n"
            "items (option), default, value and keys (a list of (time, value)).")
        .def("set", &set_control, py::arg("label"), py::arg("value"),
             "Holds a control at a value for every frame (its keys are dropped), as `trellin --set`\n"
             "does. Values: a number, True/False, an item name or index, a colour (r, g, b[, a]) of\n"
             "0..1 each; text in --set form is taken too.")
        .def("__setitem__", &set_control, "node[label] = value is node.set(label, value).")
        .def(
            "__getitem__",
            [](ScriptNode& node, const std::string& label) {
                auto lock = hold(node);
                return current_value(node.control(label));
            },
            "The control's value now: for a keyed control, its value at the last frame rendered.")
        .def(
            "key",
            [](ScriptNode& node, const std::string& label, double time, const py::handle& value) {
                const std::string text = setting_text(value);
                auto lock = hold(node);
                node.key(label, frame_time(time), text);
            },
            py::arg("label"), py::arg("time"), py::arg("value"),
            "Adds an animation key at `time` (frames), as `trellin --key LABEL@TIME=VALUE` does;\n"
            "a key at the same time is replaced.")
        .def(
            "clear_keys",
            [](ScriptNode& node, const std::string& label) {
                auto lock = hold(node);
                node.clear_keys(label);
            },
            py::arg("label"), "Removes every key of the control; it keeps its value now.")
        .def("load_project", &load_project, py::arg("path"),
             "Replaces every control's value and keys by those of a project file (`trellin --project`).\n"
             "FileNotFoundError or OSError when it cannot be read, ValueError naming the fault when it\n"
             "is refused; the node is then unchanged.")
        .def(
            "look",
            [](ScriptNode& node, const std::string& name) {
                auto lock = hold(node);
                try {
                    node.load_look(name, look_base_dir());
                } catch (const trellin_app::ProjectError& e) {
                    throw py::value_error(e.what());
                }
            },
            py::arg("name"),
            "Replaces every control's value and keys by those of a named look (`trellin --look`;\n"
            "trellin.looks() lists them). ValueError naming the known looks when there is none of that\n"
            "name; the node is then unchanged.")
        .def("save_project", &save_project, py::arg("path"),
             "Writes every control's value and keys to a project file (`trellin --save-project`),\n"
             "complete or not at all (OSError).")
        .def(
            "render",
            [](ScriptNode& node, const py::object& array, double time, const py::object& threads) {
                return render_array(node, array, time, threads);
            },
            py::arg("array"), py::arg("time") = 0.0, py::arg("threads") = py::none(),
            "Renders the picture as the frame at `time` and returns a new array of the same shape\n"
            "and dtype. Takes (height, width, 3 or 4) arrays of uint8, uint16, float16 or float32\n"
            "(TypeError otherwise); floats are clamped to 0..1. threads: processors to render on\n"
            "(default: all, or TRELLIN_THREADS).");

    m.def(
        "looks",
        [] {
            py::list result;
            for (const trellin_app::LookEntry& look : trellin_app::list_looks(look_base_dir()))
                result.append(py::make_tuple(look.name, look.summary));
            return result;
        },
        "The named looks as (name, summary) pairs, in name order (`trellin looks`).");

    const ScriptNode probe(*effect);
    m.def(
        "render",
        [](const py::object& array, double time, const py::kwargs& controls) {
            ScriptNode node(*effect);
            for (const auto& [name, value] : controls) {
                const std::string keyword = text_of(name);
                if (trellin_python::find_named_control(node.node(), keyword) == nullptr)
                    throw py::type_error("render() got an unexpected keyword argument '" + keyword +
                                         "' (Node().controls lists the control names)");
                node.set(keyword, setting_text(value));
            }
            return render_array(node, array, time, py::none());
        },
        py::arg("array"), py::arg("time") = 0.0,
        ("render(array, time=0.0, **controls): renders the picture through a new node with the\n"
         "controls given as keywords (cell_shape=\"Hexagon\", cell_count_x=20, light_active=True)\n"
         "and returns a new array, as Node.render does. The keywords:\n" +
         keyword_list(probe.node()))
            .c_str());
}
