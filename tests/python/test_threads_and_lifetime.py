"""Objects used from several threads, and object lifetime."""
import gc
import os
import subprocess
import sys
import textwrap
import threading

import qxnet
from conftest import feed_items


def update_pass(url, results, key):
    """One thread's update pass with its own objects and events."""
    thread = threading.get_ident()
    seen = set()

    class Handler:
        def OnProgress(self, title, progress):
            seen.add(threading.get_ident())

    net = qxnet.Dispatch("QXNet.QXNet")
    with qxnet.connect(net, Handler()):
        file_name = net.RetrieveFile(url, 0)
    document = qxnet.Dispatch("QXNet.UpdateDocument")
    document.Parse(file_name)
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.ReconcileWithUpdateDocument(document)
    results[key] = (sorted(item.guid for item in catalog.NotInstalledItems), seen == {thread})


def test_two_threads_each_with_own_objects(server):
    # Each thread asks for its own address: a download of the same address
    # replaces the cache entry, and with it the file the other thread got.
    results = {}
    threads = [threading.Thread(target=update_pass,
                                args=(server.url(f"feed.xml?thread={n}"), results, n))
               for n in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    expected = sorted(guid for guid, _ in feed_items())
    assert results == {0: (expected, True), 1: (expected, True)}


def test_objects_released_when_collected():
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    items = catalog.NotInstalledItems
    method = catalog.Save
    del catalog
    gc.collect()
    assert qxnet._can_unload_now() != 0      # items and the bound method hold objects
    del items, method
    gc.collect()
    assert qxnet._can_unload_now() == 0


def test_interpreter_exit_with_live_objects_is_clean():
    script = textwrap.dedent("""
        import qxnet
        net = qxnet.Dispatch("QXNet.QXNet")
        class Handler:
            def OnProgress(self, title, progress):
                pass
        connection = qxnet.connect(net, Handler())
        items = qxnet.Dispatch("QXNet.UpdateItems")
        items.Add(qxnet.Dispatch("QXNet.UpdateItem"))
        keep = [net, connection, items, iter(items)]
        print("done")
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         env=os.environ, timeout=60)
    assert (run.returncode, run.stdout, run.stderr) == (0, "done\n", "")
