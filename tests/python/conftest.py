"""Shared set-up of the Python tests.

Before qxnet is imported, the process gets a private root folder and points
the registry, the internet cache, the temporary folder and the home folder
into it, and the module of the build tree is registered there; tests never
touch the user's real state. After every test no object may be left alive.
"""
import functools
import gc
import http.server
import os
import pathlib
import shutil
import subprocess
import tempfile
import threading
import xml.etree.ElementTree as ET

import pytest

BUILD_DIR = pathlib.Path(os.environ.get("QXNET_BUILD_DIR", ""))
SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
if not (BUILD_DIR / "lib" / "libqxnet.so").is_file():
    raise RuntimeError("QXNET_BUILD_DIR must name a build tree with lib/libqxnet.so "
                       "(run the tests through ctest)")

ROOT = pathlib.Path(tempfile.mkdtemp(prefix="qxnet-pytest-"))
for sub in ("home", "tmp", "cache", "config"):
    (ROOT / sub).mkdir()
os.environ.update({
    "HOME": str(ROOT / "home"),
    "TMPDIR": str(ROOT / "tmp") + "/",
    "XDG_CONFIG_HOME": str(ROOT / "config"),
    "XDG_CACHE_HOME": str(ROOT / "cache"),
    "QXNET_REGISTRY": str(ROOT / "registry.db"),
    "QXNET_SYSTEM_REGISTRY": str(ROOT / "system-registry.db"),
    "QXNET_CACHE_DIR": str(ROOT / "cache" / "inetcache"),
    "NETRC": str(ROOT / "home" / ".netrc"),
})
# Tests talk only to servers they start on loopback; no proxy applies.
for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy",
             "QXNET_DIAGNOSTICS"):
    os.environ.pop(name, None)
subprocess.run([str(BUILD_DIR / "bin" / "qxnet"), "register", str(BUILD_DIR / "lib" / "libqxnet.so")],
               check=True, capture_output=True)

import qxnet  # noqa: E402  (the environment above must come first)


def pytest_sessionfinish(session, exitstatus):
    shutil.rmtree(ROOT, ignore_errors=True)


@pytest.fixture(autouse=True)
def no_object_outlives_the_test():
    yield
    gc.collect()
    assert qxnet._can_unload_now() == 0, "an object or a server lock outlived the test"


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class LoopbackServer:
    """Serves the files of a folder over HTTP on 127.0.0.1 (ephemeral port)."""

    def __init__(self, folder):
        self.folder = pathlib.Path(folder)
        handler = functools.partial(_QuietHandler, directory=str(self.folder))
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base_url = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, name):
        return self.base_url + "/" + name

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture
def server(tmp_path):
    """A loopback server with the demo feed (feed.xml, its links pointing
    at the server) and a 2 MB file (big.bin) for transfers with progress."""
    folder = tmp_path / "served"
    folder.mkdir()
    srv = LoopbackServer(folder)
    feed = (SOURCE_DIR / "samples" / "demo-feed.xml").read_text(encoding="utf-8")
    (folder / "feed.xml").write_text(feed.replace("{{BASE_URL}}", srv.base_url), encoding="utf-8")
    (folder / "big.bin").write_bytes(bytes(range(256)) * 8192)
    yield srv
    srv.close()


def feed_items():
    """(guid, title) of every item of the demo feed, in feed order."""
    root = ET.parse(SOURCE_DIR / "samples" / "demo-feed.xml").getroot()
    return [(item.findtext("guid"), item.findtext("title")) for item in root.iter("item")]
