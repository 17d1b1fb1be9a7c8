// The `glimmark` Python module: scene texts checked and traced into NumPy
// arrays through the embedding interface, the interpreter's lock released
// while the threads trace.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "glimmark/about.h"
#include "glimmark/engine.h"
#include "glimmark/exr_file.h"
#include "glimmark/picture_file.h"

namespace py = pybind11;

namespace {

// glimmark.ParseError, made when the module is imported.
PyObject* parse_error_type = nullptr;

// The engine parses one text at a time in a process (RND draws from one
// sequence): Python threads take turns, outside the interpreter's lock.
std::mutex parse_turn;

// A diagnostic as Python sees it.
struct PyDiagnostic {
    std::string message;
    int line = 1;
    int column = 1;
    std::string word;
    // The INCLUDE FILE text the word stands in; None for the text itself.
    std::optional<std::string> file;
    std::string text;
    int start = 0;
    int end = 0;
};

PyDiagnostic diagnostic_of(const glimmark::Diagnostic& d) {
    PyDiagnostic out{d.message, d.line, d.column, d.word, std::nullopt, d.text, d.start, d.end};
    if (!d.include_file.empty()) out.file = d.include_file;
    return out;
}

[[noreturn]] void raise_parse_error(const glimmark::Diagnostic& d) {
    py::object error = py::reinterpret_borrow<py::object>(parse_error_type)(
        std::to_string(d.line) + ":" + std::to_string(d.column) + ": " + d.message);
    error.attr("diagnostic") = py::cast(diagnostic_of(d));
    PyErr_SetObject(parse_error_type, error.ptr());
    throw py::error_already_set();
}

// Argument checks: a wrong type is a TypeError, a wrong value a ValueError,
// each naming the argument.
std::string scene_text(const py::object& text) {
    if (!py::isinstance<py::str>(text)) throw py::type_error("text must be a str");
    const std::string s = text.cast<std::string>();
    if (static_cast<long long>(s.size()) > glimmark::max_scene_characters)
        throw py::value_error("text holds more than " +
                              std::to_string(glimmark::max_scene_characters) +
                              " characters, the most a scene may hold");
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) {
        int line = 1, column = 1;
        for (size_t i = 0; i < nul; ++i) {
            if (s[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw py::value_error("text holds a NUL byte at line " + std::to_string(line) +
                              ", column " + std::to_string(column) + "; a scene ends there");
    }
    return s;
}

std::optional<int> whole_number(const py::object& value, const char* name, int min, int max) {
    if (value.is_none()) return std::nullopt;
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(name) + " must be an int");
    const long long v = value.cast<py::int_>().cast<long long>();
    if (v < min || v > max)
        throw py::value_error(std::string(name) + " is a whole number from " + std::to_string(min) +
                              " to " + std::to_string(max) + ", not " + std::to_string(v));
    return static_cast<int>(v);
}

std::string folder_of(const py::object& folder) {
    if (folder.is_none()) return {};
    py::object os = py::module_::import("os");
    if (!py::isinstance<py::str>(folder) && !py::isinstance(folder, os.attr("PathLike")))
        throw py::type_error("folder must be a str or a path");
    const std::string path = py::str(os.attr("fspath")(folder)).cast<std::string>();
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec))
        throw py::value_error("folder '" + path + "' is not a folder");
    return path;
}

struct Request {
    std::string text;
    glimmark::Settings settings;
    glimmark::Passes passes;
    py::object progress;
};

Request read_request(const py::object& text, const py::object& width, const py::object& height,
                     const py::object& antialiasing, const py::object& max_depth,
                     const py::object& time, const py::object& threads, const py::object& passes,
                     const py::object& folder, const py::object& progress) {
    Request r;
    r.text = scene_text(text);
    r.settings.width = whole_number(width, "width", 1, glimmark::max_image_side);
    r.settings.height = whole_number(height, "height", 1, glimmark::max_image_side);
    r.settings.antialiasing =
        whole_number(antialiasing, "antialiasing", 0, glimmark::max_antialiasing);
    r.settings.max_depth = whole_number(max_depth, "max_depth", 0, glimmark::max_trace_depth);
    if (!time.is_none()) {
        if (!(py::isinstance<py::float_>(time) || py::isinstance<py::int_>(time)) ||
            py::isinstance<py::bool_>(time))
            throw py::type_error("time must be a number");
        const double t = time.cast<double>();
        if (!std::isfinite(t) || std::fabs(t) > 3.4e38)
            throw py::value_error("time must be finite");
        r.settings.time = static_cast<float>(t);
    }
    r.settings.threads = whole_number(threads, "threads", 0, 256).value_or(0);
    if (py::isinstance<py::str>(passes) || !py::isinstance<py::iterable>(passes))
        throw py::type_error("passes must be a sequence of names, such as (\"rgb\", \"depth\")");
    for (const py::handle name : passes) {
        if (!py::isinstance<py::str>(name)) throw py::type_error("passes must hold str names");
        const std::string n = name.cast<std::string>();
        if (n == "rgb") continue;  // always traced
        if (n == "depth")
            r.passes.depth = true;
        else if (n == "normal")
            r.passes.normal = true;
        else if (n == "object")
            r.passes.object = true;
        else if (n == "linear")
            r.passes.linear = true;
        else
            throw py::value_error("passes: '" + n +
                                  "' is none of rgb, depth, normal, object, linear");
    }
    r.settings.folder = folder_of(folder);
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be callable");
    r.progress = progress;
    return r;
}

// Hands the vector's memory to a NumPy array without copying it.
template <typename T>
py::array_t<T> array_of(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
    auto* owned = new std::vector<T>(std::move(values));
    py::capsule free(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(shape, owned->data(), free);
}

// A traced frame as Python sees it.
struct PyFrame {
    int width = 0;
    int height = 0;
    int index = 0;
    float time = 0.0f;
    bool stopped = false;
    py::object rgb, depth, normal, object, linear;
    py::list objects;
};

py::object pass_array(std::vector<float>&& v, int h, int w, int channels) {
    if (v.empty()) return py::none();
    if (channels == 1) return array_of(std::move(v), {h, w});
    return array_of(std::move(v), {h, w, channels});
}

// 0x00BBGGRR words from the frame's rgb array as it is now.
std::vector<uint32_t> colorrefs(const PyFrame& f) {
    const auto rgb = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(f.rgb);
    if (!rgb || rgb.size() != static_cast<py::ssize_t>(f.width) * f.height * 3)
        throw py::value_error("rgb must be a height x width x 3 array of bytes");
    const uint8_t* b = rgb.data();
    std::vector<uint32_t> pixels(static_cast<size_t>(f.width) * f.height);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = b[3 * i] | (b[3 * i + 1] << 8) | (static_cast<uint32_t>(b[3 * i + 2]) << 16);
    return pixels;
}

py::bytes png_bytes(const PyFrame& f) {
    const std::vector<uint32_t> pixels = colorrefs(f);
    char* data = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    if (out == nullptr) throw std::runtime_error("no memory for the picture");
    std::string error;
    const bool ok = glimmark::write_picture_to(out, "the picture", glimmark::PictureFormat::Png,
                                               f.width, f.height, pixels, error);
    std::fclose(out);
    std::unique_ptr<char, decltype(&std::free)> owned(data, &std::free);
    if (!ok) throw std::runtime_error(error);
    return py::bytes(data, size);
}

template <typename T>
std::vector<T> vector_of(const py::object& array) {
    if (array.is_none()) return {};
    const auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(array);
    return std::vector<T>(a.data(), a.data() + a.size());
}

void save(const PyFrame& f, const py::object& path_object) {
    py::object os = py::module_::import("os");
    if (!py::isinstance<py::str>(path_object) && !py::isinstance(path_object, os.attr("PathLike")))
        throw py::type_error("path must be a str or a path");
    const std::string path = py::str(os.attr("fspath")(path_object)).cast<std::string>();
    std::string error;
    bool ok = false;
    if (glimmark::is_exr_name(path)) {
        if (!glimmark::exr_supported())
            throw py::value_error("path: this glimmark was built without OpenEXR");
        glimmark::Picture p;
        p.width = f.width;
        p.height = f.height;
        p.rgb = vector_of<uint8_t>(f.rgb);
        p.depth = vector_of<float>(f.depth);
        p.normal = vector_of<float>(f.normal);
        p.object = vector_of<int32_t>(f.object);
        p.linear = vector_of<float>(f.linear);
        py::gil_scoped_release unlocked;
        ok = glimmark::write_exr(path, p, error);
    } else {
        glimmark::PictureFormat format = glimmark::PictureFormat::Png;
        if (!glimmark::picture_format_for(path, format))
            throw py::value_error("path '" + path + "' should end in .png, .ppm or .exr");
        const std::vector<uint32_t> pixels = colorrefs(f);
        py::gil_scoped_release unlocked;
        ok = glimmark::write_picture(path, format, f.width, f.height, pixels, error);
    }
    if (!ok) throw std::runtime_error(error);
}

// Traces a parsed frame with the interpreter unlocked; an interrupt (or an
// exception of the progress callback) stops it within a row and is raised.
PyFrame trace_frame(glimmark::Frame& frame, const Request& r) {
    glimmark::TraceControl control;
    control.passes = r.passes;
    // Raised once the trace has ended.
    std::optional<py::error_already_set> raised;
    control.poll = [&raised]() {
        if (raised) return false;
        py::gil_scoped_acquire locked;
        if (PyErr_CheckSignals() != 0) {
            raised.emplace();
            return false;
        }
        return true;
    };
    if (!r.progress.is_none())
        control.progress = [&raised, &r](int done, int total) {
            if (raised) return;
            py::gil_scoped_acquire locked;
            try {
                r.progress(done, total);
            } catch (py::error_already_set& e) {
                raised.emplace(std::move(e));
            }
        };
    glimmark::Picture picture;
    {
        py::gil_scoped_release unlocked;
        picture = frame.trace(control);
    }
    if (raised) throw *raised;
    PyFrame f;
    f.width = picture.width;
    f.height = picture.height;
    f.index = frame.index();
    f.time = frame.time();
    f.stopped = picture.stopped;
    const int h = picture.height, w = picture.width;
    f.rgb = array_of(std::move(picture.rgb), {h, w, 3});
    f.depth = pass_array(std::move(picture.depth), h, w, 1);
    f.normal = pass_array(std::move(picture.normal), h, w, 3);
    f.object = picture.object.empty() ? py::none()
                                      : py::object(array_of(std::move(picture.object), {h, w}));
    f.linear = pass_array(std::move(picture.linear), h, w, 3);
    if (r.passes.object)
        for (const glimmark::Pick& o : frame.objects()) {
            py::dict d;
            d["start"] = o.start;
            d["end"] = o.end;
            d["kind"] = o.kind;
            f.objects.append(d);
        }
    return f;
}

// Parses frame `index` of the request (its settings' frame) or raises.
std::unique_ptr<glimmark::Frame> parse_frame(const Request& r) {
    glimmark::Parsed parsed;
    {
        py::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> turn(parse_turn);
        parsed = glimmark::parse(r.text, r.settings);
    }
    if (parsed.error) raise_parse_error(*parsed.error);
    if (!parsed.refusal.empty()) throw py::value_error(parsed.refusal);
    if (!parsed.frame) throw std::runtime_error("the scene gave no frame");
    return std::move(parsed.frame);
}

// glimmark.frames(): each frame of the animation parsed and traced as the
// iteration reaches it.
class FrameIterator {
  public:
    explicit FrameIterator(Request r) : request_(std::move(r)) {}
    PyFrame next() {
        if (frames_ >= 0 && index_ >= frames_) throw py::stop_iteration();
        request_.settings.frame = index_;
        std::unique_ptr<glimmark::Frame> frame = parse_frame(request_);
        if (frames_ < 0) {
            const glimmark::Animation a = frame->animation();
            frames_ = a.animated ? a.frames : 1;
        }
        ++index_;
        return trace_frame(*frame, request_);
    }

  private:
    Request request_;
    int index_ = 0;
    int frames_ = -1;
};

// glimmark.picture(): a Frame that shows an array of bytes, such as a pass
// made visible.
PyFrame picture_of(const py::object& array) {
    if (!py::isinstance<py::array_t<uint8_t>>(array))
        throw py::type_error("array must be a NumPy array of uint8");
    const auto a = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(array);
    const bool grey = a.ndim() == 2;
    if (!(grey || (a.ndim() == 3 && a.shape(2) == 3)) || a.shape(0) < 1 || a.shape(1) < 1 ||
        a.shape(0) > glimmark::max_image_side || a.shape(1) > glimmark::max_image_side)
        throw py::value_error(
            "array must be height x width or height x width x 3, each side 1 to " +
            std::to_string(glimmark::max_image_side));
    PyFrame f;
    f.height = static_cast<int>(a.shape(0));
    f.width = static_cast<int>(a.shape(1));
    std::vector<uint8_t> rgb(static_cast<size_t>(f.width) * f.height * 3);
    const uint8_t* in = a.data();
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = grey ? in[i / 3] : in[i];
    f.rgb = array_of(std::move(rgb), {f.height, f.width, 3});
    f.depth = f.normal = f.object = f.linear = py::none();
    return f;
}

}  // namespace

PYBIND11_MODULE(glimmark, m) {
    m.doc() = "Glimmark scene texts checked and traced into NumPy arrays.";
    m.attr("__version__") = glimmark::version();
    parse_error_type = PyErr_NewExceptionWithDoc(
        "glimmark.ParseError", "A scene text with an error; .diagnostic says where.", nullptr,
        nullptr);
    m.attr("ParseError") = py::reinterpret_borrow<py::object>(parse_error_type);

    py::class_<PyDiagnostic>(m, "Diagnostic", "The first error of a parse.")
        .def_readonly("message", &PyDiagnostic::message)
        .def_readonly("line", &PyDiagnostic::line)
        .def_readonly("column", &PyDiagnostic::column)
        .def_readonly("word", &PyDiagnostic::word)
        .def_readonly("file", &PyDiagnostic::file)
        .def_readonly("text", &PyDiagnostic::text)
        .def_readonly("start", &PyDiagnostic::start)
        .def_readonly("end", &PyDiagnostic::end)
        .def("__repr__", [](const PyDiagnostic& d) {
            return "<Diagnostic " + std::to_string(d.line) + ":" + std::to_string(d.column) + ": " +
                   d.message + ">";
        });

    py::class_<PyFrame>(m, "Frame", "A traced frame: its picture and the passes asked for.")
        .def_readonly("width", &PyFrame::width)
        .def_readonly("height", &PyFrame::height)
        .def_readonly("index", &PyFrame::index)
        .def_readonly("time", &PyFrame::time)
        .def_readonly("stopped", &PyFrame::stopped)
        .def_readonly("rgb", &PyFrame::rgb)
        .def_readonly("depth", &PyFrame::depth)
        .def_readonly("normal", &PyFrame::normal)
        .def_readonly("object", &PyFrame::object)
        .def_readonly("linear", &PyFrame::linear)
        .def_readonly("objects", &PyFrame::objects)
        .def("_repr_png_", &png_bytes)
        .def("save", &save, py::arg("path"),
             "Writes the picture: .png or .ppm, or .exr with the passes traced.")
        .def("__repr__", [](const PyFrame& f) {
            return "<glimmark.Frame " + std::to_string(f.width) + "x" + std::to_string(f.height) +
                   " frame " + std::to_string(f.index) + ">";
        });

    py::class_<FrameIterator>(m, "FrameIterator")
        .def("__iter__", [](FrameIterator& it) -> FrameIterator& { return it; })
        .def("__next__", &FrameIterator::next);

    m.def("picture", &picture_of, py::arg("array"),
          "A Frame showing an array of bytes: height x width (grey) or height x width x 3.");

    m.def(
        "check",
        [](const py::object& text, const py::object& folder) {
            glimmark::Settings settings;
            const std::string t = scene_text(text);
            settings.folder = folder_of(folder);
            std::vector<glimmark::Diagnostic> found;
            {
                py::gil_scoped_release unlocked;
                std::lock_guard<std::mutex> turn(parse_turn);
                found = glimmark::check(t, settings);
            }
            std::vector<PyDiagnostic> out;
            for (const glimmark::Diagnostic& d : found)
                out.push_back(diagnostic_of(d));
            return out;
        },
        py::arg("text"), py::arg("folder") = py::none(),
        "The text's errors (at most the first), as a render would find them.");

    m.def(
        "render",
        [](const py::object& text, const py::object& width, const py::object& height,
           const py::object& antialiasing, const py::object& max_depth, const py::object& time,
           const py::object& threads, const py::object& passes, const py::object& folder,
           const py::object& progress) {
            const Request r = read_request(text, width, height, antialiasing, max_depth, time,
                                           threads, passes, folder, progress);
            std::unique_ptr<glimmark::Frame> frame = parse_frame(r);
            return trace_frame(*frame, r);
        },
        py::arg("text"), py::arg("width") = py::none(), py::arg("height") = py::none(),
        py::arg("antialiasing") = py::none(), py::arg("max_depth") = py::none(),
        py::arg("time") = py::none(), py::arg("threads") = py::none(),
        py::arg("passes") = py::make_tuple("rgb"), py::arg("folder") = py::none(),
        py::arg("progress") = py::none(),
        "Traces the scene (one moment of an animation with `time`) into a Frame.");

    m.def(
        "frames",
        [](const py::object& text, const py::object& width, const py::object& height,
           const py::object& antialiasing, const py::object& max_depth, const py::object& threads,
           const py::object& passes, const py::object& folder, const py::object& progress) {
            return FrameIterator(read_request(text, width, height, antialiasing, max_depth,
                                              py::none(), threads, passes, folder, progress));
        },
        py::arg("text"), py::arg("width") = py::none(), py::arg("height") = py::none(),
        py::arg("antialiasing") = py::none(), py::arg("max_depth") = py::none(),
        py::arg("threads") = py::none(), py::arg("passes") = py::make_tuple("rgb"),
        py::arg("folder") = py::none(), py::arg("progress") = py::none(),
        "An iterator over the animation's frames, each traced as it is reached.");
}
