"""The cycle collector and the readings' dicts: it is held off while a call builds them, and is left as the
caller had it."""
import gc
import weakref

import pytest

import epochsift

CALLS = [
    lambda: epochsift.identify_bytes((1_700_000_000).to_bytes(4, "big")),
    lambda: epochsift.identify("1700000000", extended=True),
    lambda: epochsift.identify("2024-11-03T01:30:00", extended=True, tz="Europe/Berlin", local_zone="America/New_York"),
    lambda: epochsift.identify_many(["1700000000", "0x6553f100"], threads=1),
]


@pytest.fixture
def collections():
    """The collections started while the test runs, with a threshold that starts one at every new container."""
    started = []

    def note(phase, info):
        if phase == "start":
            started.append(info["generation"])

    threshold = gc.get_threshold()
    was_enabled = gc.isenabled()
    gc.callbacks.append(note)
    try:
        yield started
    finally:
        gc.callbacks.remove(note)
        gc.set_threshold(*threshold)
        gc.enable() if was_enabled else gc.disable()


def containers(value):
    if isinstance(value, dict):
        return 1 + sum(containers(v) for v in value.values())
    if isinstance(value, list):
        return 1 + sum(containers(v) for v in value)
    return 0


@pytest.mark.parametrize("call", CALLS)
def test_no_collection_while_the_readings_are_built(call, collections):
    gc.set_threshold(1)
    readings = call()
    during = len(collections)
    gc.set_threshold(700)
    # At threshold 1 a collector left on would start a collection at each of the result's containers
    # (tens, hundreds); the call's own few other objects may start some.
    assert containers(readings) > 15
    assert during < 8


@pytest.mark.parametrize("call", CALLS)
@pytest.mark.parametrize("enabled", [True, False])
def test_the_collector_is_left_as_it_was(call, enabled, collections):
    gc.enable() if enabled else gc.disable()
    call()
    assert gc.isenabled() is enabled


def test_cycles_made_between_calls_are_still_collected(collections):
    class Node:
        pass

    node = Node()
    node.self = node
    gone = weakref.ref(node)
    del node
    gc.set_threshold(100)
    for _ in range(20):
        CALLS[0]()
        [[] for _ in range(200)]  # new containers after the call: a collection falls due among them
    assert gone() is None
    assert collections
