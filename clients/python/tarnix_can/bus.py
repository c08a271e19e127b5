"""The python-can interface "tarnix": a CAN bus on any J2534 library, through the tarnix bridge."""

import collections
import logging
import os
import time
from typing import Any, Deque, Dict, List, Optional, Tuple, Union

import can

from .bridge import BridgeSession
from .locate import PathLike, find_bridge

LOG = logging.getLogger("can.tarnix")

#: Connect flag: the channel carries 29-bit identifiers.
CAN_29BIT_ID = 0x100
#: Connect flag: the channel carries 11- and 29-bit identifiers.
CAN_ID_BOTH = 0x800

PROTOCOLS = {"CAN": 5, "ISO15765": 6}

# A recv() waits in slices, so that a send() from another thread is never held up for long.
_READ_SLICE_MS = 50


def _protocol_id(protocol: Union[str, int]) -> int:
    if isinstance(protocol, int) and protocol in PROTOCOLS.values():
        return protocol
    if isinstance(protocol, str) and protocol.upper() in PROTOCOLS:
        return PROTOCOLS[protocol.upper()]
    raise ValueError(f"tarnix: protocol must be one of {', '.join(PROTOCOLS)}, not {protocol!r}")


def _id_bytes(value: int) -> List[int]:
    return list((value & 0xFFFFFFFF).to_bytes(4, "big"))


class TarnixBus(can.BusABC):
    """A CAN bus on the J2534 library named by channel, driven by a tarnix bridge of the library's
    own width, so that a 64-bit Python can use a 32-bit vendor library and the other way round.

    :param channel: path of the J2534 library (a DLL on Windows, a shared object on Linux)
    :param bitrate: bit rate, default 500000
    :param protocol: "CAN" (default) or "ISO15765"
    :param connect_flags: J2534 connect flags, e.g. CAN_29BIT_ID or CAN_ID_BOTH; default 0
    :param bridge: path of the bridge executable; default: tarnix64/tarnix32 or tarnix beside this
        package or on PATH, whichever matches the library's width
    """

    def __init__(
        self,
        channel: PathLike,
        can_filters: Optional[can.typechecking.CanFilters] = None,
        bitrate: int = 500000,
        protocol: Union[str, int] = "CAN",
        connect_flags: int = 0,
        bridge: Optional[PathLike] = None,
        **kwargs: Any,
    ) -> None:
        if channel is None:
            raise ValueError("tarnix: channel must be the path of a J2534 library")
        self.channel = os.fspath(channel)
        self._protocol_id = _protocol_id(protocol)
        self._connect_flags = int(connect_flags)
        self._received: Deque[can.Message] = collections.deque()
        self._adapter_filtered = False
        bridge_path = os.fspath(bridge) if bridge is not None else find_bridge(self.channel)
        self._session = BridgeSession(bridge_path)
        try:
            self._session.request(
                "Open",
                {
                    "dll_path": self.channel,
                    "protocol_id": self._protocol_id,
                    "baud_rate": int(bitrate),
                    "connect_flags": self._connect_flags,
                },
            )
            self.channel_info = self._describe_adapter()
            super().__init__(channel, can_filters=can_filters, **kwargs)
        except BaseException as error:
            self._session.close()
            self._is_shutdown = True  # nothing left for python-can's own clean-up to do
            if isinstance(error, can.CanError):
                raise can.CanInitializationError(str(error)) from error
            raise

    def _describe_adapter(self) -> str:
        try:
            version = self._session.request("ReadVersion")
        except can.CanOperationError as error:
            LOG.info("tarnix: the adapter does not tell its version: %s", error)
            return f"tarnix: {self.channel}"
        return (
            f"tarnix: {version['dllVersion']} (firmware {version['firmwareVersion']}, "
            f"API {version['apiVersion']}) at {self.channel}"
        )

    def send(self, msg: can.Message, timeout: Optional[float] = None) -> None:
        """Sends one frame; the adapter's refusal is raised as can.CanOperationError."""
        if msg.is_remote_frame or msg.is_error_frame or msg.is_fd:
            raise can.CanOperationError("tarnix: only classic CAN data frames can be sent")
        self._session.request(
            "SendMessage",
            {"arb_id": msg.arbitration_id, "data": list(msg.data), "extended": msg.is_extended_id},
        )

    def _recv_internal(self, timeout: Optional[float]) -> Tuple[Optional[can.Message], bool]:
        deadline = None if timeout is None else time.monotonic() + max(timeout, 0.0)
        while not self._received:
            left_ms = _READ_SLICE_MS
            if deadline is not None:
                left_ms = min(left_ms, max(0, round((deadline - time.monotonic()) * 1000)))
            frames = self._session.request(
                "ReadMessages", {"timeout_ms": left_ms}, wait_s=left_ms / 1000
            )
            self._received.extend(self._to_message(frame) for frame in frames)
            if not self._received and deadline is not None and time.monotonic() >= deadline:
                return None, False
        # python-can matches its filters once more: frames of a dedicated 29-bit channel, or of an
        # adapter that refused the filters, reach here unfiltered.
        return self._received.popleft(), False

    def _to_message(self, frame: Dict[str, Any]) -> can.Message:
        return can.Message(
            timestamp=frame["timestampUs"] / 1e6,
            arbitration_id=frame["arbId"],
            is_extended_id=frame["extended"],
            data=bytes(frame["data"]),
            channel=self.channel,
            is_rx=True,
        )

    def _apply_filters(self, filters: Optional[can.typechecking.CanFilters]) -> None:
        """Installs the filters in the adapter, so that it drops what nobody reads. An adapter that
        will not take them passes everything, and python-can's own matching filters."""
        if not filters and not self._adapter_filtered:
            return  # the pass-all filters of Open are in place
        try:
            self._session.request("ClearFilters")
        except can.CanOperationError as error:
            if self._adapter_filtered:
                raise  # filters of ours stay in the adapter and may hold back wanted frames
            LOG.warning("tarnix: the adapter keeps its filters (%s); filtering here instead", error)
            return
        try:
            self._add_filters(filters)
            self._adapter_filtered = bool(filters)
        except can.CanOperationError as error:
            LOG.warning("tarnix: the adapter refused filters (%s); filtering here instead", error)
            self._session.request("ClearFilters")
            self._add_filters(None)
            self._adapter_filtered = False

    def _add_filters(self, filters: Optional[can.typechecking.CanFilters]) -> None:
        for can_id, can_mask, extended in self._adapter_filters(filters):
            self._session.request(
                "AddFilter",
                {
                    "filter_type": "pass",
                    "mask": _id_bytes(can_mask),
                    "pattern": _id_bytes(can_id & can_mask),
                    "extended": extended,
                },
            )

    def _adapter_filters(self, filters) -> List[Tuple[int, int, bool]]:
        """(id, mask, extended) of each filter for the main channel. Like Open, it takes filters for
        29-bit frames only when connected with CAN_29BIT_ID; with CAN_ID_BOTH alone those frames
        come through a channel of their own that passes them all."""
        widths = [False, True] if self._connect_flags & CAN_29BIT_ID else [False]
        if not filters:
            return [(0, 0, extended) for extended in widths]
        return [
            (f["can_id"], f["can_mask"], extended)
            for f in filters
            for extended in widths
            if "extended" not in f or bool(f["extended"]) == extended
        ]

    def flush_tx_buffer(self) -> None:
        """Clears the adapter's transmit and receive queues, and the frames not yet read here."""
        self._session.request("ClearBuffers")
        self._received.clear()

    def shutdown(self) -> None:
        """Closes the adapter, ends the bridge and waits for its exit; safe to call twice."""
        session = self._session
        if session.closed:
            return
        super().shutdown()
        if session.healthy:
            try:
                session.request("Close")
                session.request("Shutdown")
                session.mark_shut_down()
            except can.CanOperationError as error:
                LOG.warning("tarnix: closing the adapter failed: %s", error)
        session.close()
