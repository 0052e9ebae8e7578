"""The example script examples/update_pass.py against the demo feed."""
import os
import subprocess
import sys

from conftest import SOURCE_DIR, feed_items


def test_example_prints_pending_items(server, tmp_path):
    catalog = tmp_path / "catalog.xml"
    script = SOURCE_DIR / "examples" / "update_pass.py"
    run = subprocess.run([sys.executable, str(script), server.url("feed.xml"), str(catalog)],
                         capture_output=True, text=True, env=os.environ, timeout=120)
    assert run.returncode == 0, run.stderr
    for _, title in feed_items():
        assert title in run.stdout
    assert catalog.is_file()
