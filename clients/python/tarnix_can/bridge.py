"""One bridge process and its pipe: started, asked from any thread, and always ended."""

import collections
import functools
import logging
import shutil
import subprocess
import sys
import threading
import weakref
from typing import Any, Deque, Dict, Optional

import can

from . import transport
from .exchange import AnswerHook, Exchange

LOG = logging.getLogger("can.tarnix")

# The bridge creates its pipe as soon as it starts.
CONNECT_TIMEOUT_S = 10.0
# After Shutdown the bridge closes the device, unloads the library and exits.
EXIT_TIMEOUT_S = 10.0

_SHUTDOWN_LINE = b'{"id":0,"method":"Shutdown"}\n'
_WARNING_WORDS = ("warning", "error", "fatal", "panic", "could not")


class _Resources:
    """What ending the bridge needs; it holds nothing that refers back to the session, so that the
    session's finalizer can run when the session is garbage."""

    def __init__(self, pipe_folder: Optional[str]) -> None:
        self.pipe_folder = pipe_folder
        self.process: Optional[subprocess.Popen] = None
        self.transport: Optional[transport.Transport] = None
        self.exchange: Optional[Exchange] = None
        self.stderr_reader: Optional[threading.Thread] = None
        self.stderr_tail: Deque[str] = collections.deque(maxlen=20)
        self.shut_down = False

    def running(self) -> bool:
        return self.process is not None and self.process.poll() is None

    def last_complaint(self) -> str:
        """The bridge's last diagnostic line that tells of a problem, as a suffix; else empty."""
        return next((f": {line}" for line in reversed(self.stderr_tail) if _is_complaint(line)), "")


def _is_complaint(line: str) -> bool:
    lowered = line.lower()
    return any(word in lowered for word in _WARNING_WORDS)


def _exit_text(code: Optional[int]) -> str:
    if code is None:
        return "still running"
    return f"killed by signal {-code}" if code < 0 else f"exit code {code}"


def _log_stderr(stream, tail: Deque[str]) -> None:
    for raw in iter(stream.readline, b""):
        line = raw.decode("utf-8", "replace").rstrip()
        tail.append(line)
        LOG.log(logging.WARNING if _is_complaint(line) else logging.DEBUG, "bridge: %s", line)


def _end(resources: _Resources) -> None:
    """Asks the bridge to shut down unless it did, awaits its exit (stopping it when it will not
    end), and releases the pipe, the threads and the socket's folder."""
    process = resources.process
    if process is not None:
        if resources.transport is None:
            process.kill()  # it waits for a client that will never come
        elif not resources.shut_down and process.poll() is None:
            try:
                resources.transport.write(_SHUTDOWN_LINE)
            except OSError:
                pass
        try:
            code = process.wait(EXIT_TIMEOUT_S)
            if code != 0 and resources.shut_down:
                LOG.warning("tarnix: the bridge ended with %s", _exit_text(code))
        except subprocess.TimeoutExpired:
            LOG.warning("tarnix: the bridge did not exit after Shutdown; stopping it")
            process.kill()
            process.wait()
    if resources.exchange is not None:
        resources.exchange.close()
    if resources.transport is not None:
        resources.transport.close()
    if resources.stderr_reader is not None:
        resources.stderr_reader.join()
    if process is not None and process.stderr is not None:
        process.stderr.close()
    if resources.pipe_folder is not None:
        shutil.rmtree(resources.pipe_folder, ignore_errors=True)


def _describe_loss(resources: _Resources, method: str, overdue_s: Optional[float]) -> str:
    """Why every request fails once the pipe has ended: stopped as hung, or gone on its own."""
    if overdue_s is not None:
        return (
            f"tarnix: the bridge did not answer {method} within {overdue_s:.0f} s and was stopped"
        )
    assert resources.process is not None
    try:
        code = resources.process.wait(EXIT_TIMEOUT_S)
    except subprocess.TimeoutExpired:
        code = None
    return (
        f"tarnix: the bridge went away while answering {method} ({_exit_text(code)})"
        f"{resources.last_complaint()}"
    )


def _popen_options() -> dict:
    if sys.platform == "win32":
        return {"creationflags": subprocess.CREATE_NO_WINDOW}
    # A Ctrl+C for the Python program must not kill the bridge before the bus closes the device.
    return {"start_new_session": True}


class BridgeSession:
    """A running bridge and the client end of its pipe. Any thread may send requests at any time;
    each gets its own answer. Errors are raised as can.CanOperationError with the bridge's text.
    close() (or garbage collection, or interpreter exit) ends the bridge and awaits its exit."""

    def __init__(self, bridge: str) -> None:
        pipe_name, pipe_folder = transport.new_pipe_name()
        self._resources = resources = _Resources(pipe_folder)
        self._finalizer = weakref.finalize(self, _end, resources)
        try:
            resources.process = subprocess.Popen(
                [bridge, pipe_name],
                stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL,
                stderr=subprocess.PIPE,
                **_popen_options(),
            )
        except OSError as error:
            self.close()
            raise can.CanInitializationError(f"tarnix: cannot start {bridge}: {error}") from error
        resources.stderr_reader = threading.Thread(
            target=_log_stderr,
            args=(resources.process.stderr, resources.stderr_tail),
            name="tarnix-stderr",
            daemon=True,
        )
        resources.stderr_reader.start()
        try:
            resources.transport = transport.connect(pipe_name, resources.running, CONNECT_TIMEOUT_S)
        except OSError as error:
            self.close()
            raise can.CanInitializationError(
                f"tarnix: cannot connect to {bridge} on {pipe_name}: {error}"
                f"{resources.last_complaint()}"
            ) from error
        resources.exchange = Exchange(
            resources.transport,
            functools.partial(_describe_loss, resources),
            resources.process.kill,
        )

    def request(
        self,
        method: str,
        params: Optional[Dict[str, Any]] = None,
        wait_s: float = 0.0,
        on_answer: Optional[AnswerHook] = None,
    ) -> Any:
        """Sends one request and returns its answer's data. wait_s is how long the bridge itself may
        take (a read's time-out); on_answer sees the data first, in the order answers arrive."""
        if not self._finalizer.alive:
            raise can.CanOperationError("tarnix: the bus has been shut down")
        exchange = self._resources.exchange
        assert exchange is not None
        return exchange.call(method, params, wait_s, on_answer)

    def close(self) -> None:
        """Ends the bridge (asking it to shut down unless it has) and waits for its exit."""
        self._finalizer()

    def mark_shut_down(self) -> None:
        """Tells close() that the bridge has answered Shutdown and is exiting on its own."""
        self._resources.shut_down = True

    @property
    def closed(self) -> bool:
        return not self._finalizer.alive

    @property
    def healthy(self) -> bool:
        """Whether the bridge can still answer (it has not gone away or been stopped)."""
        exchange = self._resources.exchange
        return self._finalizer.alive and exchange is not None and exchange.failure is None
