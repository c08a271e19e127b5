"""send_periodic through the adapter's own periodic messages, which keep their interval whatever
the Python program does."""

import logging
import threading
from typing import Any, Callable, Optional, Sequence, Union

import can
from can.broadcastmanager import (
    LimitedDurationCyclicSendTaskABC,
    ModifiableCyclicTaskABC,
    RestartableCyclicTaskABC,
)

LOG = logging.getLogger("can.tarnix")

# The intervals a J2534 adapter repeats a message at, in milliseconds.
MIN_INTERVAL_MS = 5
MAX_INTERVAL_MS = 65535

#: Starts the adapter repeating a message every so many milliseconds; answers its id.
StartFn = Callable[[can.Message, int], int]
#: Stops the adapter's periodic message of that id.
StopFn = Callable[[int], None]


def interval_ms(period: float) -> Optional[int]:
    """The adapter's interval for a period in seconds; None when the adapter cannot keep it."""
    milliseconds = round(period * 1000)
    return milliseconds if MIN_INTERVAL_MS <= milliseconds <= MAX_INTERVAL_MS else None


class AdapterPeriodicTask(
    ModifiableCyclicTaskABC, LimitedDurationCyclicSendTaskABC, RestartableCyclicTaskABC
):
    """One message repeated by the adapter. stop() and start() stop and restart it; modify_data()
    restarts it with the new data (the adapter cannot change a running message); after duration
    seconds it stops itself."""

    def __init__(
        self,
        start_fn: StartFn,
        stop_fn: StopFn,
        messages: Union[Sequence[can.Message], can.Message],
        period: float,
        duration: Optional[float],
    ) -> None:
        super().__init__(messages, period, duration)
        self._start_fn = start_fn
        self._stop_fn = stop_fn
        self._interval_ms = interval_ms(period) or MIN_INTERVAL_MS
        self._lock = threading.Lock()
        self._msg_id: Optional[int] = None
        self._timer: Optional[threading.Timer] = None
        self.start()

    @property
    def running(self) -> bool:
        return self._msg_id is not None

    def start(self) -> None:
        """Starts the adapter repeating the message (again); errors raise can.CanOperationError."""
        with self._lock:
            if self._msg_id is not None:
                return
            self._msg_id = self._start_fn(self.messages[0], self._interval_ms)
            if self.duration:
                self._timer = threading.Timer(self.duration, self.stop)
                self._timer.daemon = True
                self._timer.start()

    def stop(self) -> None:
        with self._lock:
            msg_id, self._msg_id = self._msg_id, None
            timer, self._timer = self._timer, None
        if timer is not None and timer is not threading.current_thread():
            timer.cancel()
        if msg_id is None:
            return
        try:
            self._stop_fn(msg_id)
        except can.CanOperationError as error:
            # A bus shutting down takes its periodic messages with it.
            LOG.debug("tarnix: periodic message %d not stopped: %s", msg_id, error)

    def modify_data(self, messages: Union[Sequence[can.Message], can.Message]) -> None:
        messages = self._check_and_convert_messages(messages)
        self._check_modified_messages(messages)
        self.messages = messages
        if self.running:
            self.stop()
            self.start()


def start_on_adapter(
    session: Any,
    max_payload: int,
    msgs: Union[Sequence[can.Message], can.Message],
    period: float,
    duration: Optional[float],
) -> Optional[AdapterPeriodicTask]:
    """A task of the adapter (session: the bus's BridgeSession) for one classic frame of at most
    max_payload bytes at an interval it can keep; None for anything else, or when the adapter
    refuses it (its periodic messages are full, say)."""
    messages = [msgs] if isinstance(msgs, can.Message) else list(msgs)
    first = messages[0]
    if (
        len(messages) != 1
        or first.is_fd
        or first.is_remote_frame
        or first.is_error_frame
        or len(first.data) > max_payload
        or interval_ms(period) is None
    ):
        return None

    def start(msg: can.Message, interval: int) -> int:
        params = {
            "arb_id": msg.arbitration_id,
            "data": list(msg.data),
            "interval_ms": interval,
            "extended": msg.is_extended_id,
        }
        return session.request("StartPeriodicMessage", params)

    def stop(msg_id: int) -> None:
        session.request("StopPeriodicMessage", {"msg_id": msg_id})

    try:
        return AdapterPeriodicTask(start, stop, first, period, duration)
    except can.CanOperationError as error:
        LOG.info("tarnix: the adapter does not repeat the message (%s); python-can does", error)
        return None
