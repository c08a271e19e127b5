"""The python-can interface "tarnix": a CAN bus on any J2534 library, through the tarnix bridge."""

import collections
import logging
import os
import time
from typing import Any, Deque, Dict, List, Optional, Sequence, Tuple, Union

import can

from . import filters as adapter_filters
from . import options
from .bridge import BridgeSession
from .detect import detect_configs
from .extras import AdapterExtras
from .filters import CAN_29BIT_ID, CAN_ID_BOTH
from .frames import FrameConverter, channel_name
from .locate import PathLike, find_bridge
from .periodic import start_on_adapter

LOG = logging.getLogger("can.tarnix")

# A recv() without a time-out waits in reads this long; a send from another thread ends the read
# at once, so the length costs nothing.
_LONGEST_READ_MS = 60_000


class TarnixBus(AdapterExtras, can.BusABC):
    """A CAN bus on the J2534 library named by channel, driven by a tarnix bridge of the library's
    own width, so that a 64-bit Python can use a 32-bit vendor library and the other way round.
    Any thread may send while another receives.

    :param channel: path of the J2534 library (a DLL on Windows, a shared object on Linux)
    :param bitrate: bit rate, default 500000
    :param protocol: "CAN" (default) or "ISO15765" (the adapter segments and reassembles), or
        their pin-switched forms "CAN_PS", "ISO15765_PS", "SW_CAN_PS", "SW_ISO15765_PS"
    :param j1962_pins: a pin-switched protocol's two J1962 pins, as (6, 14) or text "6,14"
    :param device_name: the adapter to open, as tarnix_can.scan_devices names it; default the
        library's first
    :param connect_flags: J2534 connect flags, e.g. CAN_29BIT_ID or CAN_ID_BOTH; default 0
    :param flow_control_pairs: on ISO15765, the (tester id, ECU id) pairs to install flow-control
        filters for; default the OBD pairs of the widths the channel carries (see README)
    :param receive_own_messages: also receive each sent frame (is_rx False) once the adapter took it
    :param bridge: path of the bridge executable; default: tarnix64/tarnix32 or tarnix beside this
        package or on PATH, whichever matches the library's width

    Numbers may be given as text in any base ("0x800"), as configuration files and python-can's
    command lines give them. CAN FD (fd, data_bitrate) is refused: J2534 04.04 has no FD channel.
    """

    def __init__(
        self,
        channel: PathLike,
        can_filters: Optional[can.typechecking.CanFilters] = None,
        bitrate: Union[int, str] = 500000,
        protocol: Union[str, int] = "CAN",
        connect_flags: Union[int, str] = 0,
        flow_control_pairs: Any = None,
        receive_own_messages: Union[bool, str] = False,
        bridge: Optional[PathLike] = None,
        j1962_pins: Any = None,
        device_name: Optional[str] = None,
        fd: Union[bool, str] = False,
        data_bitrate: Any = None,
        **kwargs: Any,
    ) -> None:
        if channel is None:
            raise ValueError("tarnix: channel must be the path of a J2534 library")
        if options.flag(fd, "fd") or data_bitrate is not None:
            raise can.CanInitializationError(
                "tarnix: CAN FD (fd, data_bitrate) is not available: J2534 04.04 channels are "
                "classic CAN"
            )
        self.channel = os.fspath(channel)
        self._protocol_id = options.protocol_id(protocol)
        self._iso15765 = options.is_iso15765(self._protocol_id)
        self._pins = None if j1962_pins is None else options.pins(j1962_pins)
        self._device_name = device_name
        self._connect_flags = options.number(connect_flags, "connect_flags")
        self._receive_own = options.flag(receive_own_messages, "receive_own_messages")
        self._pairs = (
            adapter_filters.default_pairs(self._connect_flags)
            if flow_control_pairs is None
            else options.pairs(flow_control_pairs)
        )
        self._installed: Optional[Tuple[List[Any], List[Any]]] = None  # None: Open's own
        self._received: Deque[can.Message] = collections.deque()
        self._frames = FrameConverter(channel_name(self.channel))
        bridge_path = os.fspath(bridge) if bridge is not None else find_bridge(self.channel)
        self._session = BridgeSession(bridge_path)
        try:
            self._session.request("Open", self._open_params(options.number(bitrate, "bitrate")))
            self.channel_info = self._describe_adapter()
            super().__init__(channel, can_filters=can_filters, **kwargs)
        except BaseException as error:
            self._session.close()
            self._is_shutdown = True  # nothing left for python-can's own clean-up to do
            if isinstance(error, can.CanError):
                raise can.CanInitializationError(str(error)) from error
            raise

    def _open_params(self, bitrate: int) -> Dict[str, Any]:
        flags = self._connect_flags
        if self._iso15765 and flags & (CAN_29BIT_ID | CAN_ID_BOTH) == CAN_ID_BOTH:
            # CAN_ID_BOTH alone gets a second channel for 29-bit frames, which takes no filters of
            # ours; one channel for both widths carries their flow-control filters too.
            flags |= CAN_29BIT_ID
            self._connect_flags = flags
        params = {
            "dll_path": self.channel,
            "protocol_id": self._protocol_id,
            "baud_rate": bitrate,
            "connect_flags": flags,
        }
        if self._pins is not None:
            params["j1962_pins"] = list(self._pins)
        if self._device_name is not None:
            params["device_name"] = self._device_name
        return params

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

    # Sending and receiving.

    def send(self, msg: can.Message, timeout: Optional[float] = None) -> None:
        """Sends one frame (on ISO15765 one message, up to 4124 bytes, segmented by the adapter);
        the adapter's refusal is raised as can.CanOperationError. Never waits behind a recv()."""
        if msg.is_remote_frame or msg.is_error_frame or msg.is_fd:
            raise can.CanOperationError("tarnix: only classic CAN data frames can be sent")
        on_answer = None
        if self._receive_own:

            def on_answer(_: Any) -> None:
                # In answer order: after the frames received before the adapter took this one.
                self._received.append(self._frames.sent(msg))

        self._session.request(
            "SendMessage",
            {"arb_id": msg.arbitration_id, "data": list(msg.data), "extended": msg.is_extended_id},
            on_answer=on_answer,
        )

    def _recv_internal(self, timeout: Optional[float]) -> Tuple[Optional[can.Message], bool]:
        deadline = None if timeout is None else time.monotonic() + max(timeout, 0.0)
        while not self._received:
            left_ms = _LONGEST_READ_MS
            if deadline is not None:
                left_ms = max(0, round((deadline - time.monotonic()) * 1000))
            self._session.request(
                "ReadMessages", {"timeout_ms": left_ms}, left_ms / 1000, self._take_frames
            )
            if not self._received and deadline is not None and time.monotonic() >= deadline:
                return None, False
        # python-can matches its filters once more: frames of a dedicated 29-bit channel, or of an
        # adapter that refused the filters, reach here unfiltered.
        return self._received.popleft(), False

    def _take_frames(self, frames: List[Dict[str, Any]]) -> None:
        # Called in answer order, so frames and the copies of sent ones queue as they happened.
        arrived = time.time()
        self._received.extend(self._frames.received(frame, arrived) for frame in frames)

    def flush_tx_buffer(self) -> None:
        """Clears the adapter's transmit and receive queues, and the frames not yet read here."""
        self._session.request("ClearBuffers")
        self._received.clear()

    # Filters.

    @property
    def flow_control_pairs(self) -> List[options.Pair]:
        """(tester id, ECU id, 29-bit) of the flow-control filters in the adapter (ISO15765)."""
        return list(self._installed[1]) if self._installed else []

    def set_flow_control_pairs(self, pairs: Any) -> None:
        """Replaces the identifier pairs that get flow-control filters on ISO15765, as the
        flow_control_pairs keyword gives them, and installs the filters anew."""
        self._pairs = options.pairs(pairs)
        self._apply_filters(self.filters)

    def _apply_filters(self, filters: Optional[can.typechecking.CanFilters]) -> None:
        """Installs the filters in the adapter, so that it drops what nobody reads: pass filters
        and, on ISO15765, flow-control filters. An adapter that will not take them passes
        everything, and python-can's own matching filters; one that refuses flow-control filters
        gets pass filters alone (then it delivers no segmented answer)."""
        if self._installed is None and not filters and not self._plan(None)[1]:
            return  # the pass-all filters of Open are in place
        try:
            self._install_dropping_refused_pairs(filters)
        except _ClearRefused as error:
            if self._installed is not None:
                raise  # filters of ours stay in the adapter and may hold back wanted frames
            LOG.warning("tarnix: the adapter keeps its filters (%s); filtering here instead", error)
        except can.CanOperationError as error:
            if not filters:
                raise
            LOG.warning("tarnix: the adapter refused filters (%s); filtering here instead", error)
            self._install_dropping_refused_pairs(None)

    def _install_dropping_refused_pairs(self, filters) -> None:
        try:
            self._install(*self._plan(filters))
        except _FlowControlRefused as refused:
            LOG.warning(
                "tarnix: the adapter refused a flow-control filter (%s); it will deliver no "
                "segmented ISO 15765 message",
                refused,
            )
            self._pairs = []
            self._install(*self._plan(filters))

    def _plan(self, filters) -> Tuple[List[Any], List[Any]]:
        if self._iso15765:
            return adapter_filters.plan(self._connect_flags, filters, self._pairs)
        return adapter_filters.pass_entries(self._connect_flags, filters), []

    def _install(self, passes: List[Any], pairs: List[Any]) -> None:
        try:
            self._session.request("ClearFilters")
        except can.CanOperationError as error:
            raise _ClearRefused(str(error)) from error
        self._installed = ([], [])
        for entry in passes:
            self._session.request("AddFilter", adapter_filters.pass_params(entry))
            self._installed[0].append(entry)
        for pair in pairs:
            try:
                self._session.request("AddFilter", adapter_filters.flow_control_params(pair))
            except can.CanOperationError as error:
                raise _FlowControlRefused(str(error)) from error
            self._installed[1].append(pair)

    # Periodic messages.

    def _send_periodic_internal(
        self,
        msgs: Union[Sequence[can.Message], can.Message],
        period: float,
        duration: Optional[float] = None,
    ) -> can.broadcastmanager.CyclicSendTaskABC:
        """The adapter repeats one frame that fits a single CAN frame, at an interval of 5 to
        65535 ms, on its own; anything else goes to python-can's sending thread."""
        # The payload of one CAN frame (ISO 15765: of a single frame).
        task = start_on_adapter(self._session, 7 if self._iso15765 else 8, msgs, period, duration)
        return task or super()._send_periodic_internal(msgs, period, duration)

    # The bus's life.

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

    @staticmethod
    def _detect_available_configs() -> List[Dict[str, Any]]:
        return detect_configs()


class _ClearRefused(can.CanOperationError):
    """The adapter would not remove its filters."""


class _FlowControlRefused(can.CanOperationError):
    """The adapter (or the bridge, for a 05.00 library) would not take a flow-control filter."""
