"""The bus's keywords as python-can hands them over: typed in code, or text from a configuration
file or the command line of python-can's tools (``connect_flags = 0x800``, ``--connect-flags=256``)."""

import re
from typing import Any, List, Optional, Tuple, Union

#: The J2534 protocols a bus can be opened on, by name: CAN, ISO 15765 and their pin-switched
#: forms, which need j1962_pins.
PROTOCOLS = {
    "CAN": 5,
    "ISO15765": 6,
    "CAN_PS": 0x8004,
    "ISO15765_PS": 0x8005,
    "SW_ISO15765_PS": 0x8007,
    "SW_CAN_PS": 0x8008,
}

#: One ISO 15765 identifier pair: (the tester's request id, the ECU's answer id, 29-bit).
Pair = Tuple[int, int, bool]

_TRUE = {"1", "true", "yes", "on"}
_FALSE = {"0", "false", "no", "off", ""}


def number(value: Any, name: str) -> int:
    """An integer given as one, or as text in any base Python reads (256, 0x100, 0o400, 0b1...)."""
    if isinstance(value, bool):
        raise ValueError(f"tarnix: {name} must be a number, not {value!r}")
    if isinstance(value, int):
        return value
    if isinstance(value, str):
        try:
            return int(value.strip().replace("_", ""), 0)
        except ValueError:
            pass
    raise ValueError(f"tarnix: {name} must be a number, not {value!r}")


def flag(value: Any, name: str) -> bool:
    """A yes or no given as a bool, a number or text (true/false, yes/no, on/off, 1/0)."""
    if isinstance(value, bool) or value is None:
        return bool(value)
    if isinstance(value, int):
        return value != 0
    if isinstance(value, str) and value.strip().lower() in _TRUE | _FALSE:
        return value.strip().lower() in _TRUE
    raise ValueError(f"tarnix: {name} must be true or false, not {value!r}")


def protocol_id(protocol: Union[str, int]) -> int:
    """The J2534 number of a protocol of PROTOCOLS by name (any letter case) or by number."""
    if isinstance(protocol, str) and protocol.strip().upper() in PROTOCOLS:
        return PROTOCOLS[protocol.strip().upper()]
    try:
        if number(protocol, "protocol") in PROTOCOLS.values():
            return number(protocol, "protocol")
    except ValueError:
        pass
    raise ValueError(f"tarnix: protocol must be one of {', '.join(PROTOCOLS)}, not {protocol!r}")


def is_iso15765(protocol: int) -> bool:
    """Whether the adapter segments and reassembles the protocol's messages (ISO 15765 forms)."""
    return protocol in (PROTOCOLS["ISO15765"], PROTOCOLS["ISO15765_PS"], PROTOCOLS["SW_ISO15765_PS"])


def pins(value: Any) -> Tuple[int, int]:
    """j1962_pins: two pin numbers, as a pair or text such as "6,14"."""
    items = re.split(r"[,;:\s]+", value.strip()) if isinstance(value, str) else list(value)
    if len(items) != 2:
        raise ValueError(f"tarnix: j1962_pins are two pins, not {value!r}")
    first, second = (number(item, "a J1962 pin") for item in items)
    return first, second


def pair(tester: Any, ecu: Any, extended: Optional[bool] = None) -> Pair:
    """A pair of identifiers; 29-bit when either is above 0x7FF, unless said otherwise."""
    tester_id, ecu_id = number(tester, "a pair's tester id"), number(ecu, "a pair's ECU id")
    if extended is None:
        extended = max(tester_id, ecu_id) > 0x7FF
    limit = 0x1FFFFFFF if extended else 0x7FF
    if not (0 <= tester_id <= limit and 0 <= ecu_id <= limit):
        raise ValueError(f"tarnix: {tester_id:#x}/{ecu_id:#x} are not {limit.bit_length()}-bit ids")
    return tester_id, ecu_id, bool(extended)


def pairs(value: Any) -> List[Pair]:
    """flow_control_pairs: a list of (tester id, ECU id[, extended]) or text such as
    "0x7E0:0x7E8, 0x18DA10F1:0x18DAF110"."""
    if isinstance(value, str):
        items = [item for item in re.split(r"[,;\s]+", value.strip()) if item]
        try:
            return [pair(*item.split(":")) for item in items]
        except TypeError as error:
            raise ValueError(f"tarnix: flow_control_pairs are tester:ecu, not {value!r}") from error
    try:
        return [pair(*item) for item in value]
    except TypeError as error:
        raise ValueError(
            f"tarnix: flow_control_pairs must be (tester, ecu) pairs: {value!r}"
        ) from error
