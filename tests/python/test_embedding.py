"""An application embedding this interpreter: sub-interpreters are refused
whichever imports first, and the module works again after re-initialisation."""
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import epochsift

EMBED_SOURCE = Path(__file__).resolve().parents[1] / "embed" / "embed.c"


def compile_command(output):
    """The compiler line python3-config --embed would give, from sysconfig."""
    var = sysconfig.get_config_var
    compiler = shlex.split(var("CC") or "cc")
    if shutil.which(compiler[0]) is None:
        pytest.skip(f"no C compiler ({compiler[0]})")
    include = {sysconfig.get_path("include"), sysconfig.get_path("platinclude")}
    libdir = var("LIBDIR")
    link = [f"-L{libdir}", f"-lpython{var('LDVERSION') or var('VERSION')}"]
    if var("Py_ENABLE_SHARED"):
        link.append(f"-Wl,-rpath,{libdir}")
    else:
        link += shlex.split(var("LINKFORSHARED") or "")  # the module finds the C API in the executable
    link += shlex.split(var("LIBS") or "") + shlex.split(var("SYSLIBS") or "")
    return [*compiler, *(f"-I{path}" for path in sorted(include)), str(EMBED_SOURCE), "-o", str(output), *link]


def test_embedding_application_imports_in_the_main_interpreter_only(tmp_path):
    program = tmp_path / "embed"
    built = subprocess.run(compile_command(program), capture_output=True, text=True, timeout=300)
    assert built.returncode == 0, built.stderr
    module_dir = os.path.dirname(os.path.abspath(epochsift.__file__))
    env = dict(os.environ, PYTHONPATH=module_dir, PYTHONHOME=sys.base_prefix)
    done = subprocess.run([str(program)], capture_output=True, text=True, env=env, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
    assert done.stdout.splitlines() == [
        "sub-first ImportError",
        "main unix",
        "sub-after ImportError",
        "reinitialised unix",
    ]
