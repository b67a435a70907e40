"""python -m vantor: the vantor command-line reader, for users who have only
the Python package.

It runs the reader's own code, compiled into the module, so its options,
output and exit statuses are those of ``vantor`` (``python -m vantor
--help`` lists them).
"""
from __future__ import annotations

import os
import signal
import sys
from typing import Optional, Sequence

from . import _vantor


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the reader on ``argv`` (default: the command line's arguments)
    and returns its exit status. It writes to the process's standard output
    and error directly, past ``sys.stdout`` and ``sys.stderr``."""
    arguments = sys.argv[1:] if argv is None else list(argv)
    # Anything Python buffered goes out before the reader writes.
    sys.stdout.flush()
    sys.stderr.flush()
    return _vantor.run_command_line([os.fsencode(a) for a in arguments])


if __name__ == "__main__":
    # As for the native reader: Ctrl-C stops a long run, and a closed pipe
    # ends the process (Python would ignore both while the reader runs).
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main())
