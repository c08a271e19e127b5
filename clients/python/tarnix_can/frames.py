"""Received frames as python-can messages: time stamps on python-can's clock, a short channel name."""

import os
import re
import threading
import time
from typing import Any, Dict, Optional

import can

# The device counts microseconds in 32 bits: it wraps after about 71.6 minutes.
_DEVICE_WRAP = 1 << 32


class TarnixMessage(can.Message):
    """A can.Message that also carries what the adapter said of it.

    ``device_timestamp_us`` is the adapter's own time stamp, microseconds as the device counts
    them (32 bits, its own origin); ``rx_status`` the J2534 receive status bits. Both are None for
    the copies of sent frames that ``receive_own_messages`` gives.
    """

    __slots__ = ("device_timestamp_us", "rx_status")

    def __init__(
        self,
        *args: Any,
        device_timestamp_us: Optional[int] = None,
        rx_status: Optional[int] = None,
        **kwargs: Any,
    ) -> None:
        super().__init__(*args, **kwargs)
        self.device_timestamp_us = device_timestamp_us
        self.rx_status = rx_status


class DeviceClock:
    """Puts the device's microseconds on python-can's clock (seconds since the epoch, time.time()).

    The device's origin is unknown, so each frame's arrival bounds it: the offset is the smallest
    arrival time less device time seen so far, which puts no frame after its arrival and follows the
    device's clock between frames exactly. Wraps of the 32-bit count are followed.
    """

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._offset: Optional[float] = None
        self._last: Optional[int] = None
        self._wraps = 0

    def to_epoch(self, device_us: int, arrived: float) -> float:
        with self._lock:
            if self._last is not None and device_us < self._last - _DEVICE_WRAP // 2:
                self._wraps += 1
            self._last = device_us
            seconds = (self._wraps * _DEVICE_WRAP + device_us) / 1e6
            if self._offset is None or arrived - seconds < self._offset:
                self._offset = arrived - seconds
            return seconds + self._offset


def channel_name(library: str) -> str:
    """A short name for Message.channel: the library file's name without its extension, in
    characters that every python-can log format keeps ("pt32" for C:\\Drivers\\pt32.dll)."""
    stem = os.path.splitext(os.path.basename(library.replace("\\", "/")))[0]
    return re.sub(r"[^A-Za-z0-9_.-]", "_", stem) or "tarnix"


class FrameConverter:
    """Turns the bridge's received frames into messages of one bus."""

    def __init__(self, channel: str) -> None:
        self.channel = channel
        self.clock = DeviceClock()

    def received(self, frame: Dict[str, Any], arrived: float) -> TarnixMessage:
        return TarnixMessage(
            timestamp=self.clock.to_epoch(frame["timestampUs"], arrived),
            arbitration_id=frame["arbId"],
            is_extended_id=frame["extended"],
            data=bytes(frame["data"]),
            channel=self.channel,
            is_rx=True,
            device_timestamp_us=frame["timestampUs"],
            rx_status=frame["rxStatus"],
        )

    def sent(self, msg: can.Message) -> TarnixMessage:
        """The copy of a frame the adapter has taken, as receive_own_messages gives it."""
        return TarnixMessage(
            timestamp=time.time(),
            arbitration_id=msg.arbitration_id,
            is_extended_id=msg.is_extended_id,
            data=bytes(msg.data),
            channel=self.channel,
            is_rx=False,
        )
