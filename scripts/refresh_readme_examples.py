"""Rerun the README's command-line examples and write their real output back.

    python3 scripts/refresh_readme_examples.py EPOCHSIFT WORKDIR

Each console block that starts with `$ epochsift ...` is run in WORKDIR (which
holds the example files the README names) with NO_COLOR set. A block that
showed only its first lines followed by `...` keeps as many lines, then `...`,
then as many of the output's last lines as it showed after the `...`.
"""
import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

README = Path(__file__).resolve().parents[1] / "README.md"


def refresh(block, program, workdir):
    lines = block.rstrip("\n").split("\n")
    out_lines = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.startswith("$ epochsift"):
            out_lines.append(line)
            i += 1
            continue
        j = i + 1
        while j < len(lines) and not lines[j].startswith("$ "):
            j += 1
        shown = lines[i + 1:j]
        while shown and shown[-1] == "":
            shown.pop()
        cut = next((k for k, text in enumerate(shown) if text.strip() in ("...", "…")), None)
        args = shlex.split(line[2:])[1:]
        env = dict(os.environ, NO_COLOR="1")
        done = subprocess.run([program, *args], capture_output=True, text=True, cwd=workdir, env=env)
        got = done.stdout.rstrip("\n").split("\n")
        if cut is not None and len(got) > cut:
            # Lines shown after the `...` are the output's last lines (a summary).
            tail = len(shown) - cut - 1
            got = got[:cut] + [shown[cut]] + (got[-tail:] if tail > 0 else [])
        out_lines.append(line)
        out_lines.extend(got)
        if j < len(lines) and lines[j - 1] == "":
            out_lines.append("")
        i = j
    return "\n".join(out_lines) + "\n"


def main():
    program, workdir = sys.argv[1], sys.argv[2]
    text = README.read_text(encoding="utf-8")
    text = re.sub(r"```console\n(.*?)```", lambda m: "```console\n" + refresh(m.group(1), program, workdir) + "```",
                  text, flags=re.S)
    README.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
