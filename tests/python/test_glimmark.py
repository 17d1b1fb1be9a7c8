"""The glimmark module against the command's own pictures and known values."""
import os
import pathlib
import re
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import glimmark

SOURCE = pathlib.Path(os.environ.get("GMK_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
GLIMMARK = os.environ.get("GLIMMARK", "glimmark")

# The default camera sits at the origin looking along +z; on a 32 x 32
# picture column and row 16 look straight ahead.
SPHERE_AHEAD = "TRACER WIDTH 32 HEIGHT 32 END_TRACER SCENE SPHERE TRANSLATE 0 0 5 END_SPHERE END_SCENE"
FLOOR = "TRACER WIDTH 32 HEIGHT 32 END_TRACER SCENE PLANE TRANSLATE 0 -1 0 END_PLANE END_SCENE"
TWO_SHAPES = ("TRACER WIDTH 64 HEIGHT 32 END_TRACER SCENE\n"
              "SPHERE TRANSLATE -2 0 5 END_SPHERE\nCUBE TRANSLATE 2 0 5 END_CUBE\nEND_SCENE\n")


def command_ppm(scene_file, tmp_path):
    out = tmp_path / "out.ppm"
    subprocess.run([GLIMMARK, "render", "-q", str(scene_file), "-o", str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    data = out.read_bytes()
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    return int(header[1]), int(header[2]), data[header.end():]


@pytest.mark.parametrize("example", ["first_sphere.gmk", "csg.gmk", "textures.gmk"])
def test_rgb_is_the_commands_picture_byte_for_byte(example, tmp_path):
    scene = SOURCE / "examples" / example
    frame = glimmark.render(scene.read_text(), folder=scene.parent, threads=2)
    width, height, pixels = command_ppm(scene, tmp_path)
    assert frame.rgb.dtype == np.uint8 and frame.rgb.shape == (height, width, 3)
    assert frame.rgb.tobytes() == pixels
    png = tmp_path / "out.png"
    subprocess.run([GLIMMARK, "render", "-q", str(scene), "-o", str(png)], check=True,
                   stdout=subprocess.DEVNULL)
    assert frame._repr_png_() == png.read_bytes()


def test_passes_leave_the_picture_as_it_was():
    text = (SOURCE / "examples" / "first_sphere.gmk").read_text()
    plain = glimmark.render(text, antialiasing=2)
    passes = glimmark.render(text, antialiasing=2,
                             passes=("rgb", "depth", "normal", "object", "linear"))
    assert np.array_equal(plain.rgb, passes.rgb)
    assert plain.depth is None and plain.linear is None
    # The bytes are the linear colour times 255, truncated.
    assert np.array_equal((passes.linear * 255).astype(np.int32).astype(np.uint8), passes.rgb)


def test_depth_is_the_distance_to_a_sphere_ahead():
    frame = glimmark.render(SPHERE_AHEAD, passes=("depth",))
    assert frame.depth.dtype == np.float32 and frame.depth.shape == (32, 32)
    assert frame.depth[16, 16] == pytest.approx(4.0, abs=1e-5)
    assert np.isinf(frame.depth[0, 0])


def test_normals_of_a_floor_point_up():
    frame = glimmark.render(FLOOR, passes=("normal",))
    assert frame.normal.shape == (32, 32, 3)
    assert np.allclose(frame.normal[20:, :], (0.0, 1.0, 0.0), atol=1e-6)
    assert np.array_equal(frame.normal[0, 0], (0.0, 0.0, 0.0))


def test_object_mask_of_two_shapes():
    frame = glimmark.render(TWO_SHAPES, passes=("object",))
    assert frame.object.dtype == np.int32
    assert [o["kind"] for o in frame.objects] == ["SPHERE", "CUBE"]
    for number, word in enumerate(("SPHERE", "CUBE")):
        block = frame.objects[number]
        assert TWO_SHAPES[block["start"]:block["end"]].split()[::5] == [word, "END_" + word]
    # The picture's left side looks along +x.
    assert frame.object[16, 45] == 0 and frame.object[16, 19] == 1 and frame.object[0, 0] == -1
    assert set(np.unique(frame.object)) == {-1, 0, 1}


def test_check_and_parse_error_carry_the_diagnostic():
    assert glimmark.check("SCENE END_SCENE") == []
    [found] = glimmark.check("SCENE\n  SPHERE END_SCENE")
    assert (found.line, found.column, found.word) == (2, 10, "END_SCENE")
    with pytest.raises(glimmark.ParseError) as raised:
        glimmark.render("SCENE\n  SPHERE END_SCENE")
    assert raised.value.diagnostic.message == found.message


@pytest.mark.parametrize("arguments, error, name", [
    ({"text": b"SCENE END_SCENE"}, TypeError, "text"),
    ({"width": "32"}, TypeError, "width"),
    ({"width": True}, TypeError, "width"),
    ({"width": 0}, ValueError, "width"),
    ({"height": 100000}, ValueError, "height"),
    ({"antialiasing": -1}, ValueError, "antialiasing"),
    ({"max_depth": 1.5}, TypeError, "max_depth"),
    ({"time": "now"}, TypeError, "time"),
    ({"time": float("nan")}, ValueError, "time"),
    ({"threads": -1}, ValueError, "threads"),
    ({"passes": "depth"}, TypeError, "passes"),
    ({"passes": ("depth", "colour")}, ValueError, "passes"),
    ({"folder": "/no/such/folder"}, ValueError, "folder"),
    ({"folder": 3}, TypeError, "folder"),
    ({"progress": 3}, TypeError, "progress"),
    ({"text": "SCENE END_SCENE\0 more"}, ValueError, "NUL"),
    ({"text": "TRACER WIDTH 100000 END_TRACER SCENE END_SCENE"}, ValueError, "Image size"),
])
def test_bad_arguments_are_refused_before_tracing(arguments, error, name):
    arguments = {"text": "SCENE END_SCENE", **arguments}
    with pytest.raises(error, match=name):
        glimmark.render(**arguments)


def test_progress_and_frames():
    seen = []
    glimmark.render(SPHERE_AHEAD, progress=lambda done, total: seen.append((done, total)))
    assert seen[-1] == (32, 32) and all(total == 32 for _, total in seen)
    animation = ("ANIMATION FRAMES 3 END_ANIMATION TRACER WIDTH 8 HEIGHT 8 END_TRACER "
                 "SCENE BACKGROUND_COLOR MUL TIME 0.5, 0 0 END_SCENE")
    frames = list(glimmark.frames(animation))
    assert [f.index for f in frames] == [0, 1, 2]
    assert [f.time for f in frames] == pytest.approx([0, 1 / 3, 2 / 3])
    assert frames[0].rgb[0, 0, 0] < frames[1].rgb[0, 0, 0] < frames[2].rgb[0, 0, 0]


def test_ctrl_c_stops_a_trace_within_a_row():
    big = "TRACER WIDTH 1500 HEIGHT 1500 ANTIALIASING 8 END_TRACER " + \
          (SOURCE / "examples" / "first_sphere.gmk").read_text().split("END_TRACER", 1)[1]
    signalled = []

    def progress(done, total):
        # Once rows are being traced, from another thread, as a terminal would.
        if done >= 2 and not signalled:
            signalled.append(time.monotonic())
            threading.Thread(target=os.kill, args=(os.getpid(), signal.SIGINT)).start()

    with pytest.raises(KeyboardInterrupt):
        glimmark.render(big, threads=1, progress=progress)
    # A row of 1,500 pixels of up to nine samples takes milliseconds.
    assert time.monotonic() - signalled[0] < 2.0


def test_save_writes_png_and_exr(tmp_path):
    frame = glimmark.render(SPHERE_AHEAD, passes=("depth", "object"))
    frame.save(tmp_path / "a.png")
    assert (tmp_path / "a.png").read_bytes() == frame._repr_png_()
    frame.save(str(tmp_path / "a.exr"))
    assert (tmp_path / "a.exr").read_bytes()[:4] == b"v/1\x01"
    with pytest.raises(ValueError, match="path"):
        frame.save(tmp_path / "a.jpg")


def test_readme_example_runs(tmp_path):
    readme = (SOURCE / "README.md").read_text()
    example = readme.split("## From Python", 1)[1].split("```python\n", 1)[1].split("```", 1)[0]
    assert len(example.strip().splitlines()) <= 10
    module_folder = os.path.dirname(os.path.abspath(glimmark.__file__))
    subprocess.run([os.environ.get("PYTHON", "python3"), "-c", example], check=True,
                   cwd=tmp_path, env={**os.environ, "PYTHONPATH": module_folder})
    assert (tmp_path / "spheres.png").read_bytes()[:4] == b"\x89PNG"
