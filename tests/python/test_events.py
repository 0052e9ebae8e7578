"""Events over a loopback download: progress, End, cancel through the
handler's return value, and handlers that fail."""
import threading

import pytest

import qxnet


class Recorder:
    def __init__(self, cancel_at=None):
        self.progress = []
        self.ends = 0
        self.cancel_at = cancel_at
        self.threads = set()

    def OnProgress(self, title, progress):
        self.threads.add(threading.get_ident())
        self.progress.append((title, progress))
        return self.cancel_at is not None and title.startswith(self.cancel_at)

    def End(self):
        self.ends += 1


def test_progress_and_end_events(server):
    net = qxnet.Dispatch("QXNet.QXNet")
    recorder = Recorder()
    with qxnet.connect(net, recorder) as connection:
        assert connection.connected
        net.RetrieveFile(server.url("big.bin"), 0)
    assert not connection.connected
    assert recorder.ends == 1
    assert recorder.progress[0][1] == 1
    assert recorder.progress[-1][1] == 100
    assert any(title.startswith("Downloading file") for title, _ in recorder.progress)
    assert recorder.threads == {threading.get_ident()}

    # Closed: no more events reach the handler.
    before = len(recorder.progress)
    net.RetrieveFile(server.url("feed.xml"), 0)
    assert len(recorder.progress) == before


def test_handler_cancels_transfer(server):
    net = qxnet.Dispatch("QXNet.QXNet")
    recorder = Recorder(cancel_at="Downloading file")
    with qxnet.connect(net, recorder):
        with pytest.raises(qxnet.Error, match="Canceled"):
            net.RetrieveFile(server.url("big.bin"), 0)
    assert recorder.ends == 1
    assert sum(title.startswith("Downloading file") for title, _ in recorder.progress) == 1


class Failing:
    def OnProgress(self, title, progress):
        raise ValueError("handler failed at %d" % progress)
    # No End method: that event is skipped.


def test_handler_exceptions_go_to_unraisablehook(server, monkeypatch):
    reported = []
    monkeypatch.setattr("sys.unraisablehook", reported.append)
    net = qxnet.Dispatch("QXNet.QXNet")
    with qxnet.connect(net, Failing()):
        file_name = net.RetrieveFile(server.url("feed.xml"), 0)
    # The reports' tracebacks reach this frame and its objects: keep texts only.
    errors = [(type(r.exc_value), str(r.exc_value)) for r in reported]
    reported.clear()
    assert file_name
    assert errors and all(kind is ValueError for kind, _ in errors)
    assert errors[0][1] == "handler failed at 1"


def test_connect_errors():
    with pytest.raises(qxnet.Error):
        qxnet.connect(qxnet.Dispatch("QXNet.UpdateDocument"), Recorder())
    connection = qxnet.connect(qxnet.Dispatch("QXNet.QXNet"), Recorder())
    connection.close()
    connection.close()
