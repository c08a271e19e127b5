"""The client end of the bridge's pipe: a Unix-domain socket on Linux, a named pipe on Windows."""

import os
import secrets
import socket
import sys
import tempfile
import time
from typing import Callable, Optional, Tuple

if sys.platform == "win32":
    import _winapi  # the overlapped pipe I/O that multiprocessing and asyncio use

# Room for a socket path in sockaddr_un, less its terminating zero.
_MAX_SOCKET_PATH = 107


class Transport:
    """A connected byte stream to the bridge. read() returns b"" once the bridge has gone."""

    def write(self, data: bytes) -> None:
        raise NotImplementedError

    def read(self) -> bytes:
        raise NotImplementedError

    def close(self) -> None:
        raise NotImplementedError


class _SocketTransport(Transport):
    def __init__(self, sock: socket.socket) -> None:
        self._sock = sock

    def write(self, data: bytes) -> None:
        self._sock.sendall(data)

    def read(self) -> bytes:
        return self._sock.recv(65536)

    def close(self) -> None:
        self._sock.close()


class _PipeTransport(Transport):
    """A named pipe opened for overlapped I/O. A handle opened without it serializes its I/O: a
    write from one thread would wait until another thread's read returned, so a send could not
    end a read that waits for the bridge's answer."""

    def __init__(self, handle: int) -> None:
        self._handle = handle

    def write(self, data: bytes) -> None:
        view = memoryview(data)
        while view:
            overlapped, _ = _winapi.WriteFile(self._handle, view, overlapped=True)
            written, _ = overlapped.GetOverlappedResult(True)
            view = view[written:]

    def read(self) -> bytes:
        try:
            overlapped, _ = _winapi.ReadFile(self._handle, 65536, overlapped=True)
            _, error = overlapped.GetOverlappedResult(True)
        except OSError:
            return b""  # the bridge has gone (ERROR_BROKEN_PIPE)
        if error != 0:
            return b""  # cancelled as the handle closed
        return bytes(overlapped.getbuffer())

    def close(self) -> None:
        _winapi.CloseHandle(self._handle)


def _open_pipe(name: str) -> Transport:
    # Fails while the bridge has not created the pipe yet (not found) or another client holds it
    # (busy).
    handle = _winapi.CreateFile(
        name,
        _winapi.GENERIC_READ | _winapi.GENERIC_WRITE,
        0,
        _winapi.NULL,
        _winapi.OPEN_EXISTING,
        _winapi.FILE_FLAG_OVERLAPPED,
        _winapi.NULL,
    )
    return _PipeTransport(handle)


def new_pipe_name() -> Tuple[str, Optional[str]]:
    """Returns a fresh pipe name and the folder made for it (None on Windows), to remove later."""
    if sys.platform == "win32":
        return rf"\\.\pipe\tarnix-can-{os.getpid()}-{secrets.token_hex(8)}", None
    folder = tempfile.mkdtemp(prefix="tarnix-can-")
    if len(os.path.join(folder, "bridge.sock").encode()) > _MAX_SOCKET_PATH:
        # A long TMPDIR cannot hold a socket; /tmp always can.
        os.rmdir(folder)
        folder = tempfile.mkdtemp(prefix="tarnix-can-", dir="/tmp")
    return os.path.join(folder, "bridge.sock"), folder


def _try_connect(name: str) -> Transport:
    if sys.platform == "win32":
        return _open_pipe(name)
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        sock.connect(name)
    except OSError:
        sock.close()
        raise
    return _SocketTransport(sock)


def connect(name: str, running: Callable[[], bool], timeout: float) -> Transport:
    """Connects to the pipe the bridge creates, retrying until it accepts, it ends or time is up."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return _try_connect(name)
        except OSError as error:
            if not running():
                raise ConnectionError("the bridge ended before it accepted a client") from error
            if time.monotonic() >= deadline:
                raise
        time.sleep(0.01)
