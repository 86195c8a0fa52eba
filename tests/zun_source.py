"""Runs Zun source text through the zun binary: the oracle tests' one way in."""
import os
import subprocess
import tempfile


def run_source(zun, source, timeout=300):
    """The finished run (stdout, stderr, returncode) of the text as a script."""
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False, encoding="utf-8") as f:
        f.write(source)
        path = f.name
    try:
        return subprocess.run([zun, path], capture_output=True, timeout=timeout,
                              stdin=subprocess.DEVNULL)
    finally:
        os.unlink(path)
