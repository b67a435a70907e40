"""Builds the compiled module with the project's own CMake build.

pip builds a local directory in place, so the project's sources are the
parent of this directory. CMake configures a build of the library and the
module only (no tests, no dialog) for the interpreter running this script,
and the module it makes is copied where setuptools packs it.
"""
import importlib.util
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
PROJECT = HERE.parent


def project_version() -> str:
    cmake_lists = PROJECT / "CMakeLists.txt"
    if not cmake_lists.is_file():
        sys.exit(f"vantor: the project's sources are not beside {HERE} (needs {cmake_lists})")
    match = re.search(r"project\(\s*Vantor\s+VERSION\s+([0-9.]+)", cmake_lists.read_text())
    if not match:
        sys.exit(f"vantor: no project version in {cmake_lists}")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build = Path(self.build_temp).resolve() / "cmake"
        config = "Release"
        configure = [
            "cmake", "-S", str(PROJECT), "-B", str(build),
            f"-DCMAKE_BUILD_TYPE={config}",
            "-DVANTOR_GUI=OFF", "-DVANTOR_TESTS=OFF",
            "-DVANTOR_PYTHON=ON", "-DVANTOR_PYTHON_REQUIRED=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "vantor_python", "-j", jobs], check=True)
        built = sorted((build / "python" / "vantor").glob("_vantor.*.so"))
        if len(built) != 1:
            sys.exit(f"vantor: expected one compiled module in {build / 'python' / 'vantor'}, found {built}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


def check_build_tools() -> None:
    """Says which packages this interpreter lacks before pip fails on them
    (without wheel, pip's error is only "invalid command 'bdist_wheel'")."""
    missing = []
    for module in ("wheel", "pybind11"):
        try:
            found = importlib.util.find_spec(module) is not None
        except (ImportError, ValueError):
            found = False
        if not found:
            missing.append(module)
    if missing:
        sys.exit(f"vantor: {sys.executable} has no {', '.join(missing)}, which the offline install "
                 "(--no-index --no-build-isolation) takes from the interpreter itself; make the virtual "
                 "environment with Debian's /usr/bin/python3 -m venv --system-site-packages, or install "
                 "them into this Python first")


check_build_tools()
setup(
    version=project_version(),
    ext_modules=[Extension("vantor._vantor", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
