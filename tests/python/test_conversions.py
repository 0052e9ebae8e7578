"""Python values <-> VARIANTs, in both directions, and coercion to the
types that the type information declares."""
import datetime

import pytest

import qxnet
from qxnet._qxnet import _round_trip

VT_I4, VT_DATE, VT_BOOL = 3, 7, 11

LOCAL = datetime.datetime(2024, 3, 5, 10, 30, 15)
UTC_NOON = datetime.datetime(2024, 7, 1, 12, 0, tzinfo=datetime.timezone.utc)


@pytest.mark.parametrize("value, expected", [
    ("", ""),
    ("ünïcødé € \U0001F600", "ünïcødé € \U0001F600"),
    (False, False),
    (2**31 - 1, 2**31 - 1),
    (-2**31, -2**31),
    (2.5, 2.5),
    (LOCAL, LOCAL),
    (datetime.datetime(1899, 12, 30), datetime.datetime(1899, 12, 30)),
    (UTC_NOON, UTC_NOON.astimezone().replace(tzinfo=None)),
    (None, None),
    ([1, "a", None, True], (1, "a", None, True)),
    ((), ()),
    ([[1, 2], ("x",)], ((1, 2), ("x",))),
])
def test_round_trip(value, expected):
    result = _round_trip(value)
    assert result == expected
    assert type(result) is type(expected)


# Which values convert to which types is the variant layer's rule; here that
# the declared type reaches it and the result comes back as a Python value.
@pytest.mark.parametrize("value, vt, expected", [
    ("5", VT_I4, 5),
    (1, VT_BOOL, True),
    (LOCAL, VT_DATE, LOCAL),
])
def test_coercion_to_declared_type(value, vt, expected):
    assert _round_trip(value, vt) == expected


@pytest.mark.parametrize("value, vt, error", [
    (2**31, -1, OverflowError),
    (-2**31 - 1, -1, OverflowError),
    (2**70, -1, OverflowError),
    (1e30, VT_I4, OverflowError),
    ("five", VT_I4, TypeError),
    (object(), -1, TypeError),
    ({"a": 1}, -1, TypeError),
    ([1, object()], -1, TypeError),
])
def test_conversion_failures(value, vt, error):
    with pytest.raises(error):
        _round_trip(value, vt)


def test_object_round_trip_keeps_identity():
    item = qxnet.Dispatch("QXNet.UpdateItem")
    again = _round_trip(item)
    assert isinstance(again, qxnet.Object)
    assert again == item and hash(again) == hash(item)
    assert again != qxnet.Dispatch("QXNet.UpdateItem")


def test_declared_types_of_properties_and_arguments():
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.checkInterval = "7"
    assert catalog.checkInterval == 7
    with pytest.raises(TypeError, match="checkInterval"):
        catalog.checkInterval = "seven"
    with pytest.raises(OverflowError):
        catalog.checkInterval = 2**31

    item = qxnet.Dispatch("QXNet.UpdateItem")
    items = catalog.NotInstalledItems
    items.Add(item)
    assert items.Item("0") == item
    with pytest.raises(TypeError, match="'index'"):
        items.Item("zero")
    with pytest.raises(TypeError, match="at most 1"):
        items.Item(0, 1)
    with pytest.raises(TypeError, match="missing argument 'index'"):
        items.Item()
