#!/usr/bin/env python3
"""Runs a command on a virtual X server of its own: with_xvfb.py CMD [ARGS...]"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import XSession  # noqa: E402

with XSession() as x:
    sys.exit(subprocess.run(sys.argv[1:], env=x.env).returncode)
