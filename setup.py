"""The Python package's build: setuptools drives the project's own CMake build of the
extension (src/python), so that `pip install .` compiles the same module from the same
sources with the same flags as the command line's build. pyproject.toml holds the metadata;
the version is the project's one, CMakeLists.txt's project(VERSION).

The CMake build is configured for the extension alone (no window, no command line, no
tests), for the interpreter that runs this build. Its worker pool is oneTBB's where CMake
finds it and the standard library's threads otherwise; VELTRANO_PIPELINE=threads (or tbb) in
the environment chooses. VELTRANO_CMAKE_ARGS adds arguments of CMake's own;
CMAKE_BUILD_PARALLEL_LEVEL sets the compile jobs (default: every core).

An sdist carries the C++ sources the extension needs and a copy of the nlohmann-json headers
(from the machine that makes it), so that it builds where nlohmann-json is not installed.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.sdist import sdist

ROOT = Path(__file__).resolve().parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"^project\(Veltrano VERSION ([0-9.]+)", text, re.MULTILINE)
    if not match:
        raise RuntimeError("CMakeLists.txt: no project(Veltrano VERSION x.y.z) line")
    return match.group(1)


class CMakeBuild(build_ext):
    """Builds the extension with CMake and puts it where setuptools packs it."""

    def build_extension(self, ext):
        cmake = shutil.which("cmake")
        if cmake is None:
            raise RuntimeError("building veltrano needs CMake 3.22 or later on PATH (Debian: cmake)")
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        args = [
            cmake, "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DVELTRANO_BUILD_UI=OFF", "-DVELTRANO_BUILD_BATCH=OFF", "-DVELTRANO_BUILD_TESTS=OFF",
            "-DVELTRANO_BUILD_PYTHON=ON",
            f"-DVELTRANO_PYTHON3={sys.executable}",
            f"-DVELTRANO_PIPELINE={os.environ.get('VELTRANO_PIPELINE', 'auto')}",
            *shlex.split(os.environ.get("VELTRANO_CMAKE_ARGS", "")),
        ]
        try:
            import pybind11
            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass  # CMake looks for pybind11's own package files
        subprocess.run(args, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run([cmake, "--build", str(build), "--target", "_veltrano", "-j", jobs], check=True)
        built = sorted((build / "python" / "veltrano").glob("_veltrano*"))
        built = [p for p in built if p.suffix in (".so", ".pyd", ".dylib")]
        if len(built) != 1:
            raise RuntimeError(f"CMake built {len(built)} extensions in {build / 'python' / 'veltrano'}, not one")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


def nlohmann_headers():
    """The folder that holds nlohmann/json.hpp on this machine."""
    places = [os.environ.get("NLOHMANN_JSON_INCLUDE_DIR", ""), "/usr/include", "/usr/local/include",
              "/opt/homebrew/include"]
    for place in places:
        if place and (Path(place) / "nlohmann" / "json.hpp").is_file():
            return Path(place)
    raise RuntimeError("an sdist carries nlohmann-json's headers: none found (Debian: nlohmann-json3-dev; "
                       "or set NLOHMANN_JSON_INCLUDE_DIR to the folder that holds nlohmann/json.hpp)")


class SourceDistribution(sdist):
    """Adds nlohmann-json's headers and licence to the sdist's tree (third_party/)."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        target = Path(base_dir) / "third_party" / "include" / "nlohmann"
        shutil.copytree(nlohmann_headers() / "nlohmann", target, dirs_exist_ok=True)
        notice = Path("/usr/share/doc/nlohmann-json3-dev/copyright")
        if notice.is_file():
            shutil.copyfile(notice, Path(base_dir) / "third_party" / "nlohmann-json.copyright")


setup(
    version=project_version(),
    packages=["veltrano"],
    package_dir={"veltrano": "src/python/veltrano"},
    package_data={"veltrano": ["__init__.pyi", "py.typed"]},
    ext_modules=[Extension("veltrano._veltrano", sources=[])],
    cmdclass={"build_ext": CMakeBuild, "sdist": SourceDistribution},
    zip_safe=False,
)
