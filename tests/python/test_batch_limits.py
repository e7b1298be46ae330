"""identify_many and identify_arrow at their limits: an address space too
small for the threads asked, and an interrupt in the middle of a long call.
Each runs in its own interpreter, since the faults here used to end the
process or hang it: liveness checks with generous bounds, not speed."""
import os
import signal
import subprocess
import sys
import threading

import pytest

import epochsift


def run_python(code, timeout=120):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=timeout)


UNDER_A_LIMIT = """
import resource
import epochsift
values = [str(1700000000 + i) for i in range(100_000)]
resource.setrlimit(resource.RLIMIT_AS, ({limit} << 20, resource.RLIM_INFINITY))
try:
    result = epochsift.identify_many(values, threads=64, best={best})
    print("read", len(result))
except MemoryError:
    print("MemoryError")
"""


# 64 threads asked under an address-space limit: the call reads everything
# or raises MemoryError; the process never aborts.
@pytest.mark.parametrize("limit", [260, 300, 340, 380, 430, 480, 530, 590])
@pytest.mark.parametrize("best", [1, None])
def test_many_threads_under_an_address_space_limit(limit, best):
    done = run_python(UNDER_A_LIMIT.format(limit=limit, best=best))
    assert done.returncode == 0, (done.returncode, done.stderr[-2000:])
    assert done.stdout in ("read 100000\n", "MemoryError\n"), done.stdout


def test_no_more_threads_than_cores_or_chunks():
    tasks = lambda: len(os.listdir("/proc/self/task"))  # noqa: E731
    if not os.path.isdir("/proc/self/task"):
        pytest.skip("counts threads in /proc")
    before = tasks()
    cores = len(os.sched_getaffinity(0))
    seen = [before]
    stop = threading.Event()

    def watch():
        while not stop.is_set():
            seen.append(tasks())

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        epochsift.identify_many([str(1700000000 + i) for i in range(200_000)], threads=64, best=1)
        epochsift.identify_many(["1700000000"] * 10, threads=64)  # one chunk: one worker
    finally:
        stop.set()
        watcher.join()
    # The watcher itself is one more thread.
    assert max(seen) <= before + 1 + min(cores, 64), (max(seen), before, cores)


INTERRUPTED = """
import os, signal, threading, time
import epochsift
values = [str(1700000000 + i) for i in range(400_000)]
{prepare}
sent = []
def interrupt():
    time.sleep(0.3)
    sent.append(time.monotonic())
    os.kill(os.getpid(), signal.SIGINT)
threading.Thread(target=interrupt).start()
result = None
try:
    result = {call}
    print("returned")
except KeyboardInterrupt:
    print("interrupted", result is None, round(time.monotonic() - sent[0], 3))
"""


@pytest.mark.parametrize("prepare, call", [
    ("", "epochsift.identify_many(values, best=None, extended=True)"),
    ("", "epochsift.identify_many(values, best=None, threads=1)"),
    ("import pyarrow as pa; column = pa.array(values)", "epochsift.identify_arrow(column, best=None, extended=True)"),
])
def test_an_interrupt_ends_a_long_call(prepare, call):
    if "pyarrow" in prepare:
        pytest.importorskip("pyarrow")
    done = run_python(INTERRUPTED.format(prepare=prepare, call=call), timeout=60)
    assert done.returncode == 0, done.stderr[-2000:]
    word, nothing_returned, after = done.stdout.split()
    assert word == "interrupted" and nothing_returned == "True"
    assert float(after) < 5, after  # within a fraction of a second on an idle machine
