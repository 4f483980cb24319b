"""Prints the id of every acceptance case (module.Class.test), one a line,
for CTest to register each as a test of its own. Imports the test modules
only; nothing runs."""

import sys
import unittest
from pathlib import Path


def ids(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from ids(item)
        else:
            yield item.id()


def main():
    here = Path(__file__).resolve().parent
    suite = unittest.defaultTestLoader.discover(str(here), pattern='test_*.py',
                                                top_level_dir=str(here))
    found = sorted(ids(suite))
    # A module that does not import shows up as a stand-in "failed import" case.
    broken = [i for i in found if i.startswith('unittest.loader')]
    if broken:
        print('acceptance modules failed to import: %s' % ', '.join(broken), file=sys.stderr)
        return 1
    print('\n'.join(found))
    return 0


if __name__ == '__main__':
    sys.exit(main())
