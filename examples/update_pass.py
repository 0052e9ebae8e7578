#!/usr/bin/env python3
"""One update pass: download the feed, reconcile it into the catalog, list
what is pending.  Usage: update_pass.py FEED_URL CATALOG_FILE"""
import os
import signal
import sys

import qxnet


class Progress:
    """Draws a text progress bar; after Ctrl-C it answers with a cancel."""
    cancel = False

    def OnProgress(self, title, percent):
        bar = "#" * (percent // 5)
        print("\r[%-20s] %3d%% %-40.40s" % (bar, percent, title), end="", file=sys.stderr)
        return self.cancel

    def End(self):
        print(file=sys.stderr)


def main(feed_url, catalog_file):
    try:
        net = qxnet.Dispatch("QXNet.QXNet")
    except qxnet.Error as error:          # the classes are not registered
        sys.exit(error.description)
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.fileName = catalog_file
    if os.path.exists(catalog_file):
        catalog.Load()
    catalog.feedUrl = feed_url

    progress = Progress()
    signal.signal(signal.SIGINT, lambda *_: setattr(progress, "cancel", True))
    try:
        with qxnet.connect(net, progress):
            feed_file = net.RetrieveFile(feed_url, 0)
    except qxnet.Error as error:
        sys.exit("Download failed: %s" % error)

    document = qxnet.Dispatch("QXNet.UpdateDocument")
    document.Parse(feed_file)
    catalog.ReconcileWithUpdateDocument(document)
    catalog.UpdateLastCheckDate()
    catalog.Save()
    for item in catalog.NotInstalledItems:
        print("%s  %-32s %s" % (item.pubDate.strftime("%Y-%m-%d"), item.guid, item.title))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
