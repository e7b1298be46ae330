"""Hostile input at the Python surface: any text, huge text, many threads,
sub-interpreters, reference counts and memory."""
import functools
import gc
import os
import subprocess
import sys
import threading
import time

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import epochsift
from hostile_inputs import CORPUS, WHITE_SPACE, hostile_inputs



def check_reading_list(text):
    """The readings are ranked by score, best first."""
    readings = epochsift.identify(text)
    assert isinstance(readings, list)
    scores = [reading["score"] for reading in readings]
    assert all(isinstance(score, float) for score in scores)
    assert scores == sorted(scores, reverse=True)
    return readings


# Any text, and texts built from the forms' own alphabets, which reach deeper
# into the parsers (lone surrogates cannot be encoded to UTF-8 and raise).
FORM_ALPHABET = "0123456789+-.,:/TZWDeiE=&#[]()' \t" + "AZaz_" + WHITE_SPACE[:4] + "\u3000"


@settings(max_examples=600, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(
    st.one_of(
        st.text(alphabet=st.characters(blacklist_categories=("Cs",))),
        st.text(alphabet=FORM_ALPHABET, max_size=40),
        st.builds(
            lambda seed, cut, insert: seed[:cut] + insert + seed[cut:],
            st.sampled_from(CORPUS),
            st.integers(min_value=0, max_value=60),
            st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=4),
        ),
        st.integers(min_value=-(2**64), max_value=2**64).map(str),
    )
)
def test_any_text_gives_ranked_readings(text):
    check_reading_list(text)


def run_python(code):
    """Runs code in a fresh interpreter that imports this build."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=300)


# A metaclass can make a type's __name__ anything at all; the TypeError still
# names the parameter and the type's real name. (Run apart: this used to crash.)
@pytest.mark.parametrize("name", ["lambda cls: 0", "lambda cls: None", "lambda cls: 1 / 0", "lambda cls: b'Odd'"])
@pytest.mark.parametrize("function", ["identify", "identify_json"])
def test_type_error_names_the_type_despite_its_metaclass(function, name):
    done = run_python(f"""
import epochsift
class Meta(type):
    __name__ = property({name})
try:
    epochsift.{function}(Meta("Odd", (), {{}})())
except TypeError as error:
    print(error)
""")
    assert done.returncode == 0, done.stderr
    assert "'value'" in done.stdout and "'Odd'" in done.stdout, done.stdout


# The three-piece form a.<payload>.b makes the engine decode the middle piece:
# three quarters of the text again. The address space left fits the text's
# UTF-8 copy, not that.
OUT_OF_MEMORY_SCRIPT = """
import resource
import epochsift

text = "a." + "e" * 20_000_000 + ".b"
with open("/proc/self/statm") as f:
    mapped = int(f.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (mapped + int(1.3 * len(text)), resource.RLIM_INFINITY))
for function in (epochsift.identify_json, epochsift.identify):
    try:
        function(text)
    except MemoryError:
        pass
    else:
        raise AssertionError("returned")
    assert epochsift.identify("1700000000")[0]["format_id"] == "unix"
    assert len(bytearray(1_000_000)) == 1_000_000
print("ok")
"""


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="reads the mapped size from /proc")
def test_exhausted_memory_raises_memory_error_and_the_interpreter_goes_on():
    done = run_python(OUT_OF_MEMORY_SCRIPT)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "ok\n"


# ---------------------------------------------------------------- huge text

MB = 1 << 20


# What the huge texts that still hold one value must read as.
HUGE_EXPECTED = {
    "leading_zeros": ("unix", "2023-11-14T22:13:20Z"),
    "white_space_around": ("unix", "2023-11-14T22:13:20Z"),
    "annotations": ("iso8601", "2024-05-01T12:00:00Z"),
    "asn1_fraction": ("asn1_generalizedtime", "2024-05-01T12:00:00.111111111Z"),
    "exif_padding": ("exif", "2024-01-02T03:04:05Z"),
}


@functools.lru_cache(maxsize=1)
def megabyte_inputs():
    return hostile_inputs(MB)


@pytest.mark.parametrize("family", sorted(hostile_inputs(16)))
def test_megabyte_inputs_return(family):
    readings = check_reading_list(megabyte_inputs()[family])
    if family in HUGE_EXPECTED:
        assert (readings[0]["format_id"], readings[0]["rendered"]) == HUGE_EXPECTED[family]


# ------------------------------------------------------------------ threads


@pytest.fixture
def switch_only_when_released():
    """With a switch interval far longer than the test, a thread waiting for
    the GIL runs only while the holder has released it."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(600)
    yield
    sys.setswitchinterval(interval)


@pytest.mark.parametrize("function", [epochsift.identify, epochsift.identify_json])
def test_other_threads_run_during_a_long_call(function, switch_only_when_released):
    text = " " * 10 * MB + "1700000000"
    counter = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            counter[0] += 1
            time.sleep(0)  # releases the GIL, so the main thread gets it back

    thread = threading.Thread(target=count)
    thread.start()
    try:
        advanced = []
        for _ in range(5):  # the other thread may find no free core in one call
            before = counter[0]
            readings = function(text)
            advanced.append(counter[0] - before)
            if advanced[-1]:
                break
    finally:
        stop.set()
        thread.join()
    assert advanced[-1] > 0, advanced
    assert readings == function("1700000000")


# White space around a value does not change its readings; padded, the value
# is long enough for the engine to run without the GIL, on all threads at once.
def test_threads_in_the_engine_at_once_get_the_readings_of_the_bare_values():
    pad = " " * 16 * 1024
    expected = {text: epochsift.identify_json(text) for text in CORPUS}
    barrier = threading.Barrier(4)
    failures = []

    def worker(offset):
        barrier.wait()
        for round_ in range(10):
            for i in range(len(CORPUS)):
                text = CORPUS[(i + offset + round_) % len(CORPUS)]
                if epochsift.identify_json(pad + text + pad) != expected[text]:
                    failures.append(text)

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


# -------------------------------------------------------- sub-interpreters

SUBINTERPRETER_SCRIPT = r"""
import sys

code = '''
import sys
sys.path[:0] = {path!r}
try:
    import epochsift
except ImportError as error:
    outcome = "ImportError"
except BaseException as error:
    outcome = type(error).__name__
else:
    outcome = "imported"
with open({out!r}, "w") as f:
    f.write(outcome)
'''.format(path=sys.path, out=sys.argv[1])

try:
    import _interpreters as interpreters  # 3.13 and later

    def run(config):
        interpreter = interpreters.create(config)
        try:
            failure = interpreters.exec(interpreter, code)
            assert failure is None, failure
        finally:
            interpreters.destroy(interpreter)
except ImportError:
    import _xxsubinterpreters as interpreters  # 3.12

    def run(config):
        interpreter = interpreters.create(isolated=(config == "isolated"))
        try:
            interpreters.run_string(interpreter, code)
        finally:
            interpreters.destroy(interpreter)


def attempts(when):
    for config in ("legacy", "isolated"):
        run(config)
        with open(sys.argv[1]) as f:
            print(when, config, f.read())


attempts("before")  # a sub-interpreter imports before the main one has
import epochsift
assert epochsift.identify("2024-060")[0]["format_id"] == "iso_ordinal"
attempts("after")
assert epochsift.identify("2024-060")[0]["format_id"] == "iso_ordinal"
print("main interpreter works")
"""


# Shared-GIL ("legacy") and own-GIL ("isolated") sub-interpreters, before and
# after the main interpreter imports. tests/embed covers older versions.
@pytest.mark.skipif(sys.version_info < (3, 12), reason="sub-interpreters with their own import state need 3.12")
def test_sub_interpreters_are_refused_and_the_main_one_imports(tmp_path):
    done = subprocess.run(
        [sys.executable, "-c", SUBINTERPRETER_SCRIPT, str(tmp_path / "outcome")],
        env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)),
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [
        "before legacy ImportError",
        "before isolated ImportError",
        "after legacy ImportError",
        "after isolated ImportError",
        "main interpreter works",
    ]


# -------------------------------------------------- reference counts, leaks


class Text(str):
    pass


def raised(function, *args, **kwargs):
    """The name of the exception type the call raises (None if it returns).
    The exception itself is dropped here, so it holds no reference."""
    try:
        function(*args, **kwargs)
    except Exception as error:  # noqa: BLE001 - the type is the result
        return type(error).__name__
    return None


def test_reference_counts_of_inputs_are_unchanged():
    # The empty and one-character strings are shared singletons whose counts
    # move with everything else the interpreter does.
    inputs = [text for text in CORPUS if len(text) > 1] + [Text("1700000000"), "x" * 1000]
    # Non-str arguments, a lone surrogate and bad keywords take the fault
    # paths, which must release what they took as well.
    faulty = [int("1700000000"), b"1700000000", bytearray(b"1"), 1.5, "17\ud800"]
    before = [sys.getrefcount(value) for value in inputs + faulty]
    for _ in range(200):
        for value in inputs:
            epochsift.identify(value)
            epochsift.identify_json(value)
            epochsift.identify(value=value)
        for value in faulty:
            for function in (epochsift.identify, epochsift.identify_json):
                assert raised(function, value) in ("TypeError", "UnicodeEncodeError")
                assert raised(function, value, value) == "TypeError"
                assert raised(function, text=value) == "TypeError"
    del value  # the loop variable holds the last one
    after = [sys.getrefcount(value) for value in inputs + faulty]
    assert after == before


def test_results_hold_no_hidden_references():
    for text in CORPUS:
        readings = epochsift.identify(text)
        assert sys.getrefcount(readings) == 2  # the name and the call's argument
        json_text = epochsift.identify_json(text)
        assert sys.getrefcount(json_text) == 2


def test_repeated_calls_leave_no_objects_behind():
    def run(times):
        for _ in range(times):
            for text in CORPUS:
                epochsift.identify(text)
                epochsift.identify_json(text)

    run(20)
    gc.collect()
    before = len(gc.get_objects())
    run(200)
    gc.collect()
    assert len(gc.get_objects()) - before < 50
