"""Members resolved by name: properties, methods, out parameters, errors."""
import pathlib

import pytest

import qxnet


def test_members_by_name_and_kind():
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.FILENAME = "/nowhere/catalog.xml"      # any letter case
    assert catalog.fileName == "/nowhere/catalog.xml"
    assert isinstance(catalog.fileFormatVersion, int)  # a get is read, not handed out
    assert callable(catalog.Save)
    with pytest.raises(AttributeError, match="read-only"):
        catalog.fileFormatVersion = 3
    with pytest.raises(AttributeError, match="no member 'noSuchThing'"):
        catalog.noSuchThing
    assert not hasattr(catalog, "noSuchThing")

    names = dir(catalog)
    assert {"fileName", "Load", "Save", "NotInstalledItems"} <= set(names)
    assert len(names) == len(set(names))
    assert "IUpdateCatalog" in repr(catalog)
    assert catalog                          # objects are true, even collections
    assert qxnet.Dispatch("QXNet.StringCollection")

    # Docstrings show the parameters and their types.
    doc = qxnet.Dispatch("QXNet.QXNet").RetrieveFile.__doc__
    for part in ("url: BSTR", "parentWnd: long", "fileName: BSTR [in, out]", "-> fileName: BSTR"):
        assert part in doc


def test_out_and_in_out_parameters(server, tmp_path):
    net = qxnet.Dispatch("QXNet.QXNet")
    url = server.url("feed.xml")
    assert net.GetCacheInfo(url, 0) == (False, False, "")

    cached = net.RetrieveFile(url, 0)
    assert pathlib.Path(cached).read_bytes() == (server.folder / "feed.xml").read_bytes()

    exists, current, file_name = net.GetCacheInfo(url, 0)
    assert (exists, current, file_name) == (True, True, cached)

    target = tmp_path / "copy.xml"
    assert net.RetrieveFile(url, 0, str(target)) == str(target)
    assert target.read_bytes() == (server.folder / "feed.xml").read_bytes()
    assert net.CanConnect(url) is True          # a retval alone
    assert net.ValidateUrl(url) is None         # neither result nor out values


def test_error_record_fields(server):
    items = qxnet.Dispatch("QXNet.UpdateItems")
    with pytest.raises(qxnet.Error) as caught:
        items.Item(3)
    error = caught.value
    assert error.hresult == 0x80070057
    assert str(error) == error.description == "Invalid index"
    assert error.source.startswith("QXNet.UpdateItems")
    assert error.argerror is None

    net = qxnet.Dispatch("QXNet.QXNet")
    with pytest.raises(qxnet.Error) as caught:
        net.RetrieveFile(server.url("missing.xml"), 0)
    assert caught.value.hresult == 0x80004005
    assert caught.value.source.startswith("QXNet.QXNet")
    assert caught.value.description


def test_unregistered_class_says_how_to_register():
    with pytest.raises(qxnet.Error) as caught:
        qxnet.Dispatch("QXNet.NoSuchClass")
    for part in ("not registered", "qxnet register", "--system"):
        assert part in caught.value.description
    with pytest.raises(qxnet.Error, match="not registered"):
        qxnet.Dispatch("{00000000-0000-0000-0000-000000000001}")
