"""Where the tests find the epochsift command line."""
import os
import shutil
import sysconfig
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def find_cli():
    """EPOCHSIFT_CLI, else the one installed beside this interpreter, else PATH, else the newest build."""
    named = os.environ.get("EPOCHSIFT_CLI")
    if named:
        return named
    beside = Path(sysconfig.get_path("scripts")) / "epochsift"
    if beside.is_file():
        return str(beside)
    on_path = shutil.which("epochsift")
    if on_path:
        return on_path
    built = sorted(ROOT.glob("build*/**/bin/epochsift"), key=lambda p: p.stat().st_mtime)
    return str(built[-1]) if built else None
