"""The package as users get it: the python3-vantor Debian package, and the
types a checker sees."""
from __future__ import annotations

import fcntl
import os
import site
import subprocess
import sys
from pathlib import Path

import pytest

import vantor
from conftest import EXAMPLES


def sh(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, timeout=600, **kwargs)


@pytest.fixture()
def build_dir():
    cli = os.environ.get("VANTOR_CLI")
    build = Path(cli).parent if cli else None
    if not build or not (build / "CPackConfig.cmake").is_file():
        pytest.skip("no CMake build tree (run through CTest)")
    # Tests that build, install or package from the build tree take turns.
    with open(build / ".install-test.lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield build


def test_debian_package(build_dir, tmp_path):
    pack = sh(["cpack", "-G", "DEB", "--config", str(build_dir / "CPackConfig.cmake"), "-B", str(tmp_path / "out"),
               "-D", "CPACK_COMPONENTS_ALL=python"], cwd=tmp_path)
    assert pack.returncode == 0, pack.stdout + pack.stderr
    debs = list((tmp_path / "out").glob("python3-vantor_*.deb"))
    assert len(debs) == 1, pack.stdout
    deb = str(debs[0])
    depends = sh(["dpkg-deb", "-f", deb, "Depends"]).stdout
    major_minor = f"{sys.version_info.major}.{sys.version_info.minor}"
    for needed in ("python3-numpy", f"python3 (>= {major_minor}~)", "libjpeg62-turbo", "libgif7", "libstdc++6"):
        assert needed in depends, depends
    listing = sh(["dpkg-deb", "-c", deb]).stdout
    package_dir = "./usr/lib/python3/dist-packages/vantor/"
    for name in ("__init__.py", "__main__.py", "dask.py", "py.typed", "_vantor.pyi",
                 f"_vantor.cpython-{sys.version_info.major}{sys.version_info.minor}"):
        assert package_dir + name in listing, listing
    assert "include/" not in listing and "/bin/" not in listing

    # Unpacked anywhere, the package imports and decodes.
    root = tmp_path / "root"
    assert sh(["dpkg-deb", "-x", deb, str(root)]).returncode == 0
    env = dict(os.environ, PYTHONPATH=str(root / "usr/lib/python3/dist-packages"))
    probe = sh([sys.executable, "-c", "import sys, vantor; print(vantor.__file__); "
                "print(vantor.decode(sys.argv[1])[0].text)", str(EXAMPLES / "hello.bmp")], env=env, cwd=tmp_path)
    assert probe.returncode == 0, probe.stderr
    where, text = probe.stdout.splitlines()
    assert where.startswith(str(root)) and text == "Hello, Vantor!"


TYPED_USE = """\
import numpy as np
import vantor

results: vantor.Results = vantor.decode(np.zeros((10, 10), np.uint8), thorough=False)
reason: vantor.Reason = results.reason
for symbol in results:
    version: int = symbol.version
    corners = symbol.corners
    x: float = corners[0][0]
    sa = symbol.structured_append
    count: int = sa.count if sa is not None else 0
height, width = vantor.read("image.bmp").shape
"""


def test_types_are_seen_by_a_checker(tmp_path):
    pytest.importorskip("mypy")
    package_parent = Path(vantor.__file__).resolve().parent.parent
    env = dict(os.environ)
    # An installed package is found through the interpreter; one on
    # PYTHONPATH (the build tree) through MYPYPATH.
    if package_parent not in {Path(p).resolve() for p in site.getsitepackages()}:
        env["MYPYPATH"] = str(package_parent)

    def mypy(*args):
        return sh([sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "c"),
                   "--python-executable", sys.executable, *args], env=env, cwd=tmp_path)

    def check(source):
        (tmp_path / "use.py").write_text(source)
        return mypy(str(tmp_path / "use.py"))

    package = mypy("-p", "vantor")
    assert package.returncode == 0, package.stdout
    good = check(TYPED_USE)
    assert good.returncode == 0, good.stdout
    bad = check(TYPED_USE + "wrong: str = results[0].version\nvantor.decode(1, thorough='yes')\n")
    assert bad.returncode == 1 and bad.stdout.count("error:") == 2, bad.stdout


def test_install_step_names_what_the_interpreter_lacks(tmp_path):
    # Without wheel pip only says "invalid command 'bdist_wheel'"; the
    # package's set-up says which interpreter lacks what, before that.
    setup_py = Path(__file__).resolve().parents[1] / "setup.py"
    probe = ("import sys; sys.modules['wheel'] = None; sys.argv = ['setup.py', '--version']; "
             f"exec(compile(open({str(setup_py)!r}).read(), {str(setup_py)!r}, 'exec'), "
             f"{{'__file__': {str(setup_py)!r}, '__name__': '__main__'}})")
    run = sh([sys.executable, "-c", probe], cwd=tmp_path)
    assert run.returncode == 1
    assert f"vantor: {sys.executable} has no wheel, which the offline install" in run.stderr
    assert "/usr/bin/python3 -m venv --system-site-packages" in run.stderr
