"""Requests written from any thread at once, each answer handed to its request by id.

The bridge answers one line per request, strictly in order. No thread is set aside for reading:
whichever caller is waiting reads the pipe for everybody (one at a time) and hands each answer to
its request, so a lone caller costs no thread switch, and a send made while another thread waits
in a long read goes out at once and gets its answer as soon as the bridge writes it.
"""

import collections
import json
import threading
import time
from typing import Any, Callable, Dict, Optional

import can

from . import transport

# Beyond what a request itself may wait: room for a slow vendor library before the bridge is
# declared hung and stopped, so that no call can hang its caller for ever.
ANSWER_GRACE_S = 30.0

#: Called with an answer's data by the thread that reads it, in the order the answers arrive.
AnswerHook = Callable[[Any], None]

_encode = json.JSONEncoder(separators=(",", ":")).encode
_decode = json.JSONDecoder().decode


class _Pending:
    __slots__ = ("method", "limit_s", "deadline", "on_answer", "done", "data", "error")

    def __init__(
        self, method: str, limit_s: float, after: float, on_answer: Optional[AnswerHook]
    ) -> None:
        self.method = method
        self.limit_s = limit_s
        # Answered only after the requests before it: never due before them.
        self.deadline = max(time.monotonic() + limit_s, after)
        self.on_answer = on_answer
        self.done = False
        self.data: Any = None
        self.error: Optional[str] = None


class Exchange:
    """One client end of the bridge's pipe, shared by every thread of a bus.

    describe_loss(method, overdue_s) gives the text that every request gets once the pipe has
    ended (overdue_s: the wait after which the watchdog stopped the bridge, else None); stop()
    stops the bridge process, which ends the pipe.
    """

    def __init__(
        self,
        stream: transport.Transport,
        describe_loss: Callable[[str, Optional[float]], str],
        stop: Callable[[], None],
    ) -> None:
        self._stream = stream
        self._describe_loss = describe_loss
        self._stop = stop
        self._write_lock = threading.Lock()
        self._lock = threading.Lock()
        self._turn = threading.Condition(self._lock)
        self._pending: "collections.OrderedDict[int, _Pending]" = collections.OrderedDict()
        self._last_deadline = 0.0  # of the newest request still waiting
        self._next_id = 1
        self._reading = False
        self._waiters = 0
        self._buffer = bytearray()
        self._failure: Optional[str] = None
        self._overdue: Optional[float] = None
        self._closed = threading.Event()
        self._watchdog = threading.Thread(target=self._watch, name="tarnix-watchdog", daemon=True)
        self._watchdog.start()

    @property
    def failure(self) -> Optional[str]:
        """Why the pipe ended, once it has."""
        return self._failure

    def call(
        self,
        method: str,
        params: Optional[Dict[str, Any]] = None,
        wait_s: float = 0.0,
        on_answer: Optional[AnswerHook] = None,
    ) -> Any:
        """Writes one request and returns its answer's data; an error answer, or the loss of the
        bridge, is raised as can.CanOperationError. wait_s is how long the bridge itself may take
        (a read's time-out). on_answer, when given, sees the data first, in answer order."""
        message: Dict[str, Any] = {"id": 0, "method": method}
        if params is not None:
            message["params"] = params
        with self._write_lock:
            with self._lock:
                if self._failure is not None:
                    raise can.CanOperationError(self._failure)
                message["id"] = request_id = self._next_id
                self._next_id += 1
                pending = _Pending(method, wait_s + ANSWER_GRACE_S, self._last_deadline, on_answer)
                self._last_deadline = pending.deadline
                self._pending[request_id] = pending
            try:
                self._stream.write(_encode(message).encode() + b"\n")
            except OSError:
                pass  # the bridge has gone: reading tells why
        self._await(pending)
        if pending.error is not None:
            raise can.CanOperationError(pending.error)
        return pending.data

    def close(self) -> None:
        """Ends the watchdog; the stream is closed by its owner."""
        self._closed.set()
        if self._watchdog is not threading.current_thread():
            self._watchdog.join()

    def _await(self, pending: _Pending) -> None:
        with self._lock:
            while not pending.done and self._reading:
                self._waiters += 1
                try:
                    self._turn.wait()
                finally:
                    self._waiters -= 1
            if pending.done:
                return
            self._reading = True
        try:
            self._read_until(pending)
        finally:
            with self._lock:
                self._reading = False
                if self._waiters:
                    self._turn.notify_all()

    def _read_until(self, pending: _Pending) -> None:
        """Reads and hands out answers until pending has its own, then hands out those already
        read, so that their callers need not read again."""
        while not pending.done:
            line = self._next_line(block=True)
            if line is None:
                self._lose()
                return
            self._hand_out(line, pending)
        while self._buffer:
            line = self._next_line(block=False)
            if line is None:
                return
            self._hand_out(line, pending)

    def _next_line(self, block: bool) -> Optional[bytes]:
        buffer = self._buffer
        end = buffer.find(b"\n")
        while end < 0:
            if not block:
                return None
            try:
                chunk = self._stream.read()
            except OSError:
                chunk = b""
            if not chunk:
                return None
            start = len(buffer)
            buffer += chunk
            end = buffer.find(b"\n", start)
        line = bytes(buffer[:end])
        del buffer[: end + 1]
        return line

    def _hand_out(self, line: bytes, own: _Pending) -> None:
        """Gives an answer to its request; own is the reader's, which nobody else waits for."""
        reply: Any = None
        try:
            reply = _decode(line.decode())
            answered_id, ok = reply["id"], reply["status"] == "ok"
        except (ValueError, KeyError, TypeError):
            answered_id, ok = None, False
        with self._lock:
            if not self._pending:
                return  # nobody asked: nothing to hand it to
            # A request line that could not be decoded is answered with id 0, which no request
            # has: like any answer that names no waiting request, it is the oldest one's.
            matched = self._pending.pop(answered_id, None)
            pending = matched or self._pending.popitem(last=False)[1]
            if not self._pending:
                self._last_deadline = 0.0
        if answered_id is None:
            pending.error = f"tarnix: unreadable answer to {pending.method}: {line!r}"
        elif not ok:
            pending.error = str(reply.get("message", ""))
        elif matched is None:
            pending.error = f"tarnix: an answer to request {answered_id} came for {pending.method}"
        else:
            pending.data = reply.get("data")
            if pending.on_answer is not None:
                try:
                    pending.on_answer(pending.data)
                except Exception as error:  # its caller raises it, not whoever reads
                    pending.error = (
                        f"tarnix: the answer to {pending.method} was not taken: {error!r}"
                    )
        if pending is own:
            pending.done = True
            return
        with self._lock:
            pending.done = True
            if self._waiters:
                self._turn.notify_all()

    def _lose(self) -> None:
        with self._lock:
            oldest = next(iter(self._pending.values()), None)
        text = self._describe_loss(oldest.method if oldest else "a request", self._overdue)
        with self._lock:
            self._failure = text
            for pending in self._pending.values():
                pending.error = text
                pending.done = True
            self._pending.clear()
            self._turn.notify_all()

    def _watch(self) -> None:
        """Stops the bridge when the oldest request outlives its deadline. Answers come in order,
        so only the oldest can be overdue, and deadlines never come before an earlier request's:
        a new request never needs to wake this thread."""
        while True:
            with self._lock:
                oldest = next(iter(self._pending.values()), None)
            now = time.monotonic()
            if oldest is not None and oldest.deadline <= now:
                self._overdue = oldest.limit_s
                self._stop()
                return
            if self._closed.wait(ANSWER_GRACE_S if oldest is None else oldest.deadline - now):
                return
