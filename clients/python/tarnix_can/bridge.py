"""One bridge process and its pipe: started, asked one request at a time, and always ended."""

import collections
import json
import logging
import shutil
import subprocess
import sys
import threading
import time
import weakref
from typing import Any, Callable, Deque, Optional

import can

from . import transport

LOG = logging.getLogger("can.tarnix")

# The bridge creates its pipe as soon as it starts.
CONNECT_TIMEOUT_S = 10.0
# Beyond what a request itself may wait: room for a slow vendor library before the bridge is
# declared hung and stopped, so that no call can hang its caller for ever.
ANSWER_GRACE_S = 30.0
# After Shutdown the bridge closes the device, unloads the library and exits.
EXIT_TIMEOUT_S = 10.0

# What reading an answer gives when the bridge has gone.
_GONE = object()
_SHUTDOWN_LINE = b'{"id":0,"method":"Shutdown"}\n'
_WARNING_WORDS = ("warning", "error", "fatal", "panic", "could not")


class _Watchdog:
    """Calls expire() when an armed deadline passes: a hung bridge is stopped, so its pipe ends."""

    def __init__(self, expire: Callable[[], None]) -> None:
        self._expire = expire
        self._condition = threading.Condition()
        self._deadline: Optional[float] = None
        self._expired = False
        self._closed = False
        self._thread = threading.Thread(target=self._run, name="tarnix-watchdog", daemon=True)
        self._thread.start()

    def arm(self, seconds: float) -> None:
        with self._condition:
            self._deadline = time.monotonic() + seconds
            self._expired = False
            self._condition.notify()

    def disarm(self) -> bool:
        """Returns whether the deadline had passed."""
        with self._condition:
            self._deadline = None
            return self._expired

    def close(self) -> None:
        with self._condition:
            self._closed = True
            self._condition.notify()
        if self._thread is not threading.current_thread():
            self._thread.join()

    def _run(self) -> None:
        with self._condition:
            while not self._closed:
                left = None if self._deadline is None else self._deadline - time.monotonic()
                if left is None or left > 0:
                    self._condition.wait(left)
                    continue
                self._deadline = None
                self._expired = True
                self._expire()


class _Resources:
    """What ending the bridge needs; it holds nothing that refers back to the session, so that the
    session's finalizer can run when the session is garbage."""

    def __init__(self, pipe_folder: Optional[str]) -> None:
        self.pipe_folder = pipe_folder
        self.process: Optional[subprocess.Popen] = None
        self.transport: Optional[transport.Transport] = None
        self.watchdog: Optional[_Watchdog] = None
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
    if resources.watchdog is not None:
        resources.watchdog.close()
    if resources.transport is not None:
        resources.transport.close()
    if resources.stderr_reader is not None:
        resources.stderr_reader.join()
    if process is not None and process.stderr is not None:
        process.stderr.close()
    if resources.pipe_folder is not None:
        shutil.rmtree(resources.pipe_folder, ignore_errors=True)


def _popen_options() -> dict:
    if sys.platform == "win32":
        return {"creationflags": subprocess.CREATE_NO_WINDOW}
    # A Ctrl+C for the Python program must not kill the bridge before the bus closes the device.
    return {"start_new_session": True}


class BridgeSession:
    """A running bridge and the client end of its pipe. Requests are answered one at a time, in
    order; errors are raised as can.CanOperationError with the bridge's text. close() (or garbage
    collection, or interpreter exit) ends the bridge and awaits its exit."""

    def __init__(self, bridge: str) -> None:
        pipe_name, pipe_folder = transport.new_pipe_name()
        self._resources = resources = _Resources(pipe_folder)
        self._finalizer = weakref.finalize(self, _end, resources)
        self._next_id = 1
        self._pending = bytearray()
        self._failure: Optional[str] = None
        # Whoever waits at the turnstile gets the lock next, so that a loop of short reads on one
        # thread cannot starve a send on another.
        self._turnstile = threading.Lock()
        self._lock = threading.Lock()
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
        resources.watchdog = _Watchdog(resources.process.kill)
        try:
            resources.transport = transport.connect(pipe_name, resources.running, CONNECT_TIMEOUT_S)
        except OSError as error:
            self.close()
            raise can.CanInitializationError(
                f"tarnix: cannot connect to {bridge} on {pipe_name}: {error}"
                f"{resources.last_complaint()}"
            ) from error

    def request(self, method: str, params: Optional[dict] = None, wait_s: float = 0.0) -> Any:
        """Sends one request and returns its answer's data. wait_s is how long the bridge itself may
        take (a read's time-out)."""
        with self._turnstile:
            self._lock.acquire()
        try:
            return self._exchange(method, params, wait_s)
        finally:
            self._lock.release()

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
        return self._finalizer.alive and self._failure is None

    def _exchange(self, method: str, params: Optional[dict], wait_s: float) -> Any:
        if not self._finalizer.alive:
            raise can.CanOperationError("tarnix: the bus has been shut down")
        if self._failure is not None:
            raise can.CanOperationError(self._failure)
        request_id = self._next_id
        self._next_id += 1
        message: dict = {"id": request_id, "method": method}
        if params is not None:
            message["params"] = params
        line = json.dumps(message, separators=(",", ":")).encode() + b"\n"
        resources = self._resources
        assert resources.transport is not None and resources.watchdog is not None
        resources.watchdog.arm(wait_s + ANSWER_GRACE_S)
        try:
            resources.transport.write(line)
            answer = self._await_answer(resources.transport, request_id, method)
        except OSError:
            answer = _GONE
        finally:
            overdue = resources.watchdog.disarm()
        if answer is _GONE:
            self._failure = self._describe_loss(method, wait_s, overdue)
            raise can.CanOperationError(self._failure)
        return answer

    def _await_answer(self, stream: transport.Transport, request_id: int, method: str) -> Any:
        """Reads lines up to the answer to request_id; answers to earlier requests, left unread by
        an interrupted caller, are passed over. Returns _GONE when the bridge has gone."""
        while True:
            line = self._read_line(stream)
            if line is None:
                return _GONE
            try:
                reply = json.loads(line)
                answered_id, ok = reply["id"], reply["status"] == "ok"
            except (ValueError, KeyError, TypeError) as error:
                raise can.CanOperationError(
                    f"tarnix: unreadable answer to {method}: {line!r}"
                ) from error
            if 0 < answered_id < request_id:
                continue
            if not ok:
                raise can.CanOperationError(str(reply.get("message", "")))
            if answered_id != request_id:
                raise can.CanOperationError(
                    f"tarnix: an answer to request {answered_id} came for {method} ({request_id})"
                )
            return reply.get("data")

    def _read_line(self, stream: transport.Transport) -> Optional[bytes]:
        while True:
            end = self._pending.find(b"\n")
            if end >= 0:
                line = bytes(self._pending[:end])
                del self._pending[: end + 1]
                return line
            chunk = stream.read()
            if not chunk:
                return None
            self._pending += chunk

    def _describe_loss(self, method: str, wait_s: float, overdue: bool) -> str:
        resources = self._resources
        if overdue:
            return (
                f"tarnix: the bridge did not answer {method} within "
                f"{wait_s + ANSWER_GRACE_S:.0f} s and was stopped"
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
