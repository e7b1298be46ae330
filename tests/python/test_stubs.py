"""The typed stub epochsift.pyi: mypy accepts sound use, rejects unsound use, and the stub matches the module."""
import importlib.util
import os
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
STUB_DIR = ROOT / "src" / "python"

pytestmark = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")

SOUND = textwrap.dedent('''
    from typing import TYPE_CHECKING, List, Optional
    import epochsift
    if TYPE_CHECKING:
        from epochsift import Reading

    readings: "List[Reading]" = epochsift.identify("1700000000")
    also = epochsift.identify(value="1700000000")
    text: str = epochsift.identify_json(value="1700000000")
    for r in readings:
        instant: int = r["instant"]
        rendered: Optional[str] = r["rendered"]
        score: float = r["score"] + 0.5
        notes: List[str] = r["assumptions"]
        sentinel: bool = r["sentinel"]
        label: str = r["format_id"] + r["label"] + r["citation"]
        for name, value in r["components"]:
            assert isinstance(name, str) and isinstance(value, float)
''')

# Each line is one fault mypy must report, with its error code.
UNSOUND = [
    ('epochsift.identify(1700000000)', "arg-type"),
    ('epochsift.identify_json(b"1700000000")', "arg-type"),
    ('epochsift.identify(text="1")', "call-arg"),
    ('epochsift.identify("1", "2")', ("call-arg", "misc")),  # mypy before 1.20 files it under misc
    ('epochsift.identify("1")[0]["nope"]', "typeddict-item"),
    ('x: str = epochsift.identify("1")[0]["rendered"]', "assignment"),
    ('y: str = epochsift.identify("1")[0]["instant"]', "assignment"),
    ('z: List[str] = epochsift.identify_json("1")', "assignment"),
]


def mypy(source, tmp_path, env_extra=None, *extra):
    path = tmp_path / "example.py"
    path.write_text(source)
    env = dict(os.environ, **(env_extra or {}))
    env.pop("PYTHONPATH", None)  # the stub, not the built module, is what mypy must read
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--python-executable", sys.executable,
         *extra, str(path)],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300,
    )


def test_sound_use_type_checks(tmp_path):
    done = mypy(SOUND, tmp_path, {"MYPYPATH": str(STUB_DIR)})
    assert done.returncode == 0, done.stdout


def test_unsound_use_is_reported(tmp_path):
    source = "from typing import List\nimport epochsift\n" + "\n".join(line for line, _ in UNSOUND) + "\n"
    done = mypy(source, tmp_path, {"MYPYPATH": str(STUB_DIR)})
    reported = done.stdout.splitlines()
    for number, (line, code) in enumerate(UNSOUND, start=3):
        codes = code if isinstance(code, tuple) else (code,)
        assert any(r.startswith(f"example.py:{number}: error:") and r.endswith(tuple(f"[{c}]" for c in codes))
                   for r in reported), (
            line, done.stdout)


def test_stub_matches_the_module(tmp_path):
    """stubtest compares the stub's names and signatures with the module itself."""
    pytest.importorskip("epochsift")
    allow = tmp_path / "allow.txt"
    # TypedDicts exist for type checkers only; the pure-Python submodule
    # epochsift.spark is checked as source.
    allow.write_text("epochsift.Reading\nepochsift.Verdict\nepochsift.Encoded\nepochsift.HintWords\nepochsift.ScanHit\nepochsift.spark\n")
    env = dict(os.environ, MYPYPATH=str(STUB_DIR))
    env["PYTHONPATH"] = os.pathsep.join(sys.path)
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "epochsift", "--allowlist", str(allow)],
                          capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr


def test_installed_stub_is_found_without_mypypath(tmp_path):
    """Installed from the wheel, the stub sits beside the module and in epochsift-stubs, where mypy looks."""
    epochsift = pytest.importorskip("epochsift")
    where = Path(epochsift.__file__).parent
    site_dirs = {Path(sysconfig.get_path(name)) for name in ("purelib", "platlib")}
    if where not in site_dirs:
        pytest.skip("epochsift is not installed in site-packages")
    assert (where / "epochsift.pyi").read_text() == (STUB_DIR / "epochsift.pyi").read_text()
    assert (where / "epochsift-stubs" / "__init__.pyi").is_file()
    done = mypy(SOUND, tmp_path)
    assert done.returncode == 0, done.stdout
