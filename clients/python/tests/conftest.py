"""Fixtures for the tests of the python-can interface: strict ptsim's library, its call log, and
checks for leftovers."""

import glob
import json
import os
import tempfile

import pytest


@pytest.fixture(autouse=True)
def strict_ptsim(monkeypatch) -> None:
    """ptsim as a conforming library behaves, so that what works here works on a real adapter."""
    monkeypatch.setenv("PTSIM_STRICT", "1")


@pytest.fixture
def bin_dir() -> str:
    """The folder of the Linux bridge and ptsim, named by run_tests.sh."""
    folder = os.environ.get("TARNIX_TEST_BIN_DIR")
    if not folder:
        pytest.fail("TARNIX_TEST_BIN_DIR must name the folder of tarnix and libptsim*.so")
    return folder


@pytest.fixture
def ptsim(bin_dir: str) -> str:
    return os.path.join(bin_dir, "libptsim0404.so")


@pytest.fixture
def ptsim_log(tmp_path, monkeypatch):
    """Reads back the calls ptsim logs from now on, one dict per call."""
    path = tmp_path / "calls.log"
    monkeypatch.setenv("PTSIM_LOG", str(path))
    return lambda: [json.loads(line) for line in path.read_text().splitlines()]


def child_processes() -> list:
    """Pids of this process's children, ended but not awaited ones included."""
    children = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == os.getpid():
            children.append(int(entry))
    return children


def socket_folders() -> list:
    return glob.glob(os.path.join(tempfile.gettempdir(), "tarnix-can-*"))


def assert_nothing_left() -> None:
    assert child_processes() == []
    assert socket_folders() == []
