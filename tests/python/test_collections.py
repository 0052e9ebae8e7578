"""Collections: len() and [] through Count and Item, iteration through
_NewEnum, over a catalog reconciled with the demo feed."""
import pytest

import qxnet
from conftest import feed_items


def reconciled_items(server):
    """The pending items of a catalog reconciled with the demo feed. (Not a
    fixture: fixture values stay referenced until after the check that no
    object outlives the test.)"""
    net = qxnet.Dispatch("QXNet.QXNet")
    document = qxnet.Dispatch("QXNet.UpdateDocument")
    document.Parse(net.RetrieveFile(server.url("feed.xml"), 0))
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.ReconcileWithUpdateDocument(document)
    return catalog.NotInstalledItems


def test_collection_walked_three_ways(server):
    pending = reconciled_items(server)
    expected = sorted(guid for guid, _ in feed_items())
    by_index = [pending[i].guid for i in range(len(pending))]
    by_iteration = [item.guid for item in pending]
    assert sorted(by_index) == expected
    assert by_iteration == by_index
    assert all(isinstance(item, qxnet.Object) for item in pending)


def test_index_bounds(server):
    pending = reconciled_items(server)
    count = len(pending)
    assert pending[count - 1].guid
    for index in (-1, -2**70, count, count + 100, 2**70):
        with pytest.raises(IndexError):
            pending[index]


def test_string_collection_and_non_collections():
    strings = qxnet.Dispatch("QXNet.StringCollection")
    for text in ("alpha", "beta", "gamma"):
        strings.Add(text)
    assert len(strings) == 3
    assert list(strings) == ["alpha", "beta", "gamma"]
    assert strings[1] == "beta"
    assert strings.InCollection("gamma") is True

    item = qxnet.Dispatch("QXNet.UpdateItem")
    with pytest.raises(TypeError):
        len(item)
    with pytest.raises(TypeError):
        iter(item)
