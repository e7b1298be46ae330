"""identify_many: the same readings as identify(value, extended=True) on each value, in order, across threads."""
import gc
import math
import random
import threading
import time

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import epochsift

# Values of every kind the engine reads: integers of every width, floats,
# hex, dates and identifiers, arbitrary text, surrogate-free unicode.
VALUES = st.one_of(
    st.integers(min_value=-(2**70), max_value=2**70).map(str),
    st.floats(allow_nan=True, allow_infinity=True).map(repr),
    st.integers(min_value=0, max_value=2**64).map(hex),
    st.datetimes().map(lambda d: d.isoformat() + "Z"),
    st.sampled_from(["0", "-1", "4294967295", "65f1b2c3d4e5f60718293a4b", "01HQ3Z6Z9Z0000000000000000",
                     "Tue, 14 Nov 2023 22:13:20 +0000", "D:20231114221320Z", "2023:11:14 22:13:20", " 17e8 "]),
    st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=40),
)


def same(a, b):
    """Equality that also holds for NaN scores (json.loads reads NaN as None)."""
    return a == b or (isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b))


@settings(max_examples=60, deadline=None)
@given(st.lists(VALUES, max_size=600), st.integers(min_value=1, max_value=4))
def test_equals_identify_on_each_value_in_order(values, threads):
    assert epochsift.identify_many(values, threads=threads) == [epochsift.identify(v, extended=True) for v in values]


@settings(max_examples=40, deadline=None)
@given(st.lists(VALUES, max_size=300), st.integers(min_value=1, max_value=30))
def test_best_keeps_each_values_first_readings(values, best):
    assert epochsift.identify_many(values, best=best, threads=2) == [epochsift.identify(v, extended=True)[:best] for v in values]


def runs_and_jumps(seed, count=900):
    """Integers in runs within a magnitude (as a column holds them) and jumps across magnitudes and signs."""
    rng = random.Random(seed)
    values, magnitude = [], 1_700_000_000
    for _ in range(count):
        if rng.random() < 0.05:
            magnitude = rng.choice([7, 1_700_000_000, 1_700_000_000_123, 133_444_736_001_234_567, 2**62 + 5, -86_400])
        values.append(str(magnitude + rng.randrange(-10**6, 10**6) * (1 if abs(magnitude) > 10**7 else 0)))
    return values


# Chunks read on several threads pass the families' kept bounds and scores
# on to one another: whatever a memo has read before, each value's first
# readings are identify's.
@pytest.mark.parametrize("seed", [1, 2])
@pytest.mark.parametrize("best", [1, 3])
@pytest.mark.parametrize("threads", [1, 2])
def test_memos_passed_between_chunks_keep_each_values_first_readings(seed, best, threads):
    values = runs_and_jumps(seed)
    expected = [epochsift.identify(v, extended=True)[:best] for v in values]
    assert epochsift.identify_many(values, best=best, threads=threads) == expected


# Iterables of every shape give the same lists as a list of the same values.
@pytest.mark.parametrize("make", [tuple, iter, lambda v: (x for x in v), lambda v: dict.fromkeys(v)])
def test_any_iterable(make):
    values = ["1700000000", "2023-11-14T22:13:20Z", "nothing", ""]
    assert epochsift.identify_many(make(values)) == epochsift.identify_many(values)


def test_empty_input_and_str_subclass():
    class Text(str):
        pass

    assert epochsift.identify_many([]) == []
    assert epochsift.identify_many([Text("1700000000")]) == [epochsift.identify("1700000000", extended=True)]


# A bad item raises identify's error, naming its index; nothing is returned.
@pytest.mark.parametrize("values, error, index", [
    (["1", 2.5, "3"], TypeError, 1),
    (["1", "2", None], TypeError, 2),
    ([b"1700000000"], TypeError, 0),
    (["1", "\ud800"], UnicodeEncodeError, 1),
    (["x\udfff" + "1" * 10_000], UnicodeEncodeError, 0),
])
def test_bad_item_names_its_index(values, error, index):
    with pytest.raises(error, match=rf"item {index}\b"):
        epochsift.identify_many(values)
    with pytest.raises(error):
        epochsift.identify(values[index])
    with pytest.raises(error, match=rf"item {index}\b"):
        epochsift.identify_many(values, extended=False)


@pytest.mark.parametrize("text", ["1700000000", b"1700000000"])
def test_a_single_text_is_not_taken_for_its_characters(text):
    with pytest.raises(TypeError, match="iterable of str"):
        epochsift.identify_many(text)


def test_encode_error_keeps_the_span():
    with pytest.raises(UnicodeEncodeError) as caught:
        epochsift.identify_many(["ok", "ab\ud800cd"])
    assert (caught.value.object, caught.value.start, caught.value.end) == ("ab\ud800cd", 2, 3)


def test_iterator_error_propagates():
    def values():
        yield "1700000000"
        raise KeyError("from the iterator")

    with pytest.raises(KeyError, match="from the iterator"):
        epochsift.identify_many(values())


@pytest.mark.parametrize("kwargs, error", [
    ({"threads": 0}, ValueError),
    ({"threads": -3}, ValueError),
    ({"best": 0}, ValueError),
    ({"threads": 1.5}, TypeError),
    ({"best": True}, TypeError),
    ({"best": "1"}, TypeError),
    ({"nope": 1}, TypeError),
])
def test_keyword_faults(kwargs, error):
    with pytest.raises(error):
        epochsift.identify_many(["1"], **kwargs)


def test_huge_thread_and_best_counts_are_capped():
    assert epochsift.identify_many(["1700000000"], threads=2**80, best=2**80) == [epochsift.identify("1700000000", extended=True)]


def test_collector_state_is_restored():
    assert gc.isenabled()
    epochsift.identify_many(["1700000000"] * 1000)
    assert gc.isenabled()
    gc.disable()
    try:
        epochsift.identify_many(["1700000000"] * 10)
        assert not gc.isenabled()
    finally:
        gc.enable()


def test_other_threads_run_while_readings_are_boxed():
    # Boxing every reading holds the GIL while the workers are ahead of it:
    # another thread still gets turns all through the call, not only at its
    # start. Its longest wait is compared with the call's length, not with a
    # fixed time.
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.perf_counter())

    values = [str(1_700_000_000 + 7 * i) for i in range(6_000)]
    worker = threading.Thread(target=tick)
    worker.start()
    try:
        start = time.perf_counter()
        epochsift.identify_many(values, threads=2)
        end = time.perf_counter()
    finally:
        stop.set()
        worker.join()
    during = [start] + [t for t in ticks if start <= t <= end] + [end]
    longest_wait = max(b - a for a, b in zip(during, during[1:]))
    assert longest_wait < 0.5 * (end - start), (longest_wait, end - start)


def test_other_threads_run_while_the_engine_works():
    # A counter thread makes progress while identify_many reads a large batch.
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(1)

    values = [str(1_700_000_000 + i) for i in range(30_000)]
    worker = threading.Thread(target=tick)
    worker.start()
    try:
        before = len(ticks)
        epochsift.identify_many(values, best=1, threads=1)
        assert len(ticks) > before
    finally:
        stop.set()
        worker.join()
