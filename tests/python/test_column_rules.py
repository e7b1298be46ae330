"""identify_column's `ordered`, as the stub states it: the share of
neighbouring read pairs whose instants do not fall. Equal neighbours do not
fall; a column of one value has no pair that falls."""
import pytest

import epochsift


def verdict(values, format_id):
    return next(v for v in epochsift.identify_column(values) if v["format_id"] == format_id)


@pytest.mark.parametrize("values, expected", [
    (["1700000000"], 1.0),                                        # no pair
    (["1700000000", "1700000000"], 1.0),                          # equal: not falling
    (["1700000000", "1700000000", "1699999999"], 0.5),            # one pair of two falls
    (["1700000003", "1700000002", "1700000001"], 0.0),
    (["1700000001", "1700000001", "1700000002", "1700000002"], 1.0),
])
def test_ordered_share_of_pairs_that_do_not_fall(values, expected):
    unix = verdict(values, "unix")
    assert unix["ordered"] == expected
    assert unix["read"] == len(values)
    assert unix["first"] == int(values[0]) * 10**9 and unix["last"] == int(values[-1]) * 10**9
