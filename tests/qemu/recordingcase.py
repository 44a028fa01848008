"""Self-tests over a recorded guest run: each test works on its own copy of the recording, so a
test may change files and the next one starts from the recording again."""

import shutil
import tempfile
import unittest
from pathlib import Path


class RecordingCase(unittest.TestCase):
    """Subclasses set DATA (the recording's folder) and COMPARE (folder -> differences, as a
    staticmethod). Import this module, not the class, so the loader does not run the base."""

    DATA = None
    COMPARE = None

    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="tvdrec-"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.restore()

    def restore(self):
        for f in self.DATA.iterdir():
            shutil.copy(f, self.dir / f.name)

    def test_recording_agrees(self):
        self.assertEqual([], self.COMPARE(self.dir))
