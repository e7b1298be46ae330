"""--encode with options that belong to reading: each is a usage error a
user sees at once (exit status 2, one line naming the option), never an
option silently ignored."""
import subprocess

import pytest

from command_line import find_cli

CLI = find_cli()
pytestmark = pytest.mark.skipif(CLI is None, reason="the epochsift command line is not built")

WHEN = "2024-03-31T01:30:00Z"


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=60)


@pytest.mark.parametrize("option", [
    ["--hex"], ["--best", "1"], ["--threads", "2"], ["--infer"], ["--by-column"], ["--max-line", "100"],
    ["--column", "2"], ["--delimiter", ","],
])
@pytest.mark.parametrize("json", [[], ["--json"]])
def test_options_that_do_not_apply_to_encoding_are_usage_errors(option, json):
    done = run("--encode", WHEN, *json, *option)
    assert done.returncode == 2
    assert done.stdout == ""
    assert done.stderr.count("\n") == 1 and option[0] in done.stderr and "--encode" in done.stderr


@pytest.mark.parametrize("zone", ["No/Such_Zone", "+25:00", "../etc/passwd"])
def test_an_unknown_zone_is_refused_before_encoding(zone):
    done = run("--encode", WHEN, "--tz", zone)
    assert done.returncode == 2 and done.stdout == ""
    assert "unknown time zone" in done.stderr


# The options that do apply still work (the JSON is the module's encode).
@pytest.mark.parametrize("args", [[], ["--json"], ["--tz", "Europe/Berlin"], ["--tz", "+05:30", "--json"]])
def test_encoding_still_runs(args):
    done = run("--encode", WHEN, *args)
    assert done.returncode == 0 and done.stdout
