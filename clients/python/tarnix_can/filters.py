"""The filters a bus puts in the adapter: pass filters for what its users read and, on ISO 15765,
flow-control filters for the identifier pairs, without which a conforming adapter neither
reassembles a segmented answer nor sends a segmented request."""

from typing import Any, Dict, List, Optional, Sequence, Tuple

from .options import Pair

#: Connect flag: the channel carries 29-bit identifiers.
CAN_29BIT_ID = 0x100
#: Connect flag: the channel carries 11- and 29-bit identifiers.
CAN_ID_BOTH = 0x800

#: Filters per channel that every J2534 adapter holds.
FILTER_ROOM = 10

_ID_BITS = {False: 0x7FF, True: 0x1FFFFFFF}

#: (id, mask, 29-bit) of one pass filter.
PassEntry = Tuple[int, int, bool]


def default_pairs(connect_flags: int) -> List[Pair]:
    """The OBD physical pairs of the widths the channel carries: 7E0-7E7 / 7E8-7EF, and 18DAxxF1 /
    18DAF1xx for the ECU addresses 10-17. Both widths alternate, so that when the adapter's room
    runs out each keeps its first ECUs."""
    eleven = [(0x7E0 + i, 0x7E8 + i, False) for i in range(8)]
    twenty_nine = [(0x18DA00F1 | ecu << 8, 0x18DAF100 | ecu, True) for ecu in range(0x10, 0x18)]
    interleaved = [p for both in zip(eleven, twenty_nine) for p in both]
    return [p for p in interleaved if carries(connect_flags, p[2])]


def carries(connect_flags: int, extended: bool) -> bool:
    """Whether the main channel, connected with these flags, receives frames of this width."""
    if extended:
        return bool(connect_flags & (CAN_29BIT_ID | CAN_ID_BOTH))
    return not connect_flags & CAN_29BIT_ID or bool(connect_flags & CAN_ID_BOTH)


def _pass_widths(connect_flags: int) -> List[bool]:
    # With CAN_ID_BOTH alone the bridge reads 29-bit frames through a channel of its own, which
    # passes them all; the main channel then takes 11-bit pass filters only.
    widths = [False] if carries(connect_flags, False) else []
    return widths + ([True] if connect_flags & CAN_29BIT_ID else [])


def _matches(user_filter: Dict[str, Any], can_id: int, extended: bool) -> bool:
    if "extended" in user_filter and bool(user_filter["extended"]) != extended:
        return False
    return (can_id ^ user_filter["can_id"]) & user_filter["can_mask"] == 0


def pass_entries(
    connect_flags: int, filters: Optional[Sequence[Dict[str, Any]]]
) -> List[PassEntry]:
    """(id, mask, 29-bit) of each pass filter for python-can's filters (all frames when none)."""
    widths = _pass_widths(connect_flags)
    if not filters:
        return [(0, 0, extended) for extended in widths]
    return [
        (f["can_id"] & _ID_BITS[extended], f["can_mask"] & _ID_BITS[extended], extended)
        for f in filters
        for extended in widths
        if "extended" not in f or bool(f["extended"]) == extended
    ]


def plan(
    connect_flags: int,
    filters: Optional[Sequence[Dict[str, Any]]],
    pairs: Sequence[Pair],
) -> Tuple[List[PassEntry], List[Pair]]:
    """The pass filters and flow-control pairs for an ISO 15765 channel: a pair for each answer id
    that python-can's filters let through, and pass filters only where single frames of other ids
    are wanted. Pairs beyond the adapter's room are left out (the last ones)."""
    wanted = [
        p
        for p in pairs
        if carries(connect_flags, p[2])
        and (not filters or any(_matches(f, p[1], p[2]) for f in filters))
    ]

    def covered(entry: PassEntry, by: Sequence[Pair]) -> bool:
        can_id, can_mask, extended = entry
        return can_mask == _ID_BITS[extended] and (can_id, extended) in {(p[1], p[2]) for p in by}

    passes = pass_entries(connect_flags, filters)
    fitted = wanted[: max(0, FILTER_ROOM - sum(not covered(e, wanted) for e in passes))]
    return [e for e in passes if not covered(e, fitted)], fitted


def id_bytes(value: int) -> List[int]:
    return list((value & 0xFFFFFFFF).to_bytes(4, "big"))


def pass_params(entry: PassEntry) -> Dict[str, Any]:
    can_id, can_mask, extended = entry
    return {
        "filter_type": "pass",
        "mask": id_bytes(can_mask),
        "pattern": id_bytes(can_id & can_mask),
        "extended": extended,
    }


def flow_control_params(p: Pair) -> Dict[str, Any]:
    tester_id, ecu_id, extended = p
    return {
        "filter_type": "flow_control",
        "mask": [0xFF] * 4,
        "pattern": id_bytes(ecu_id),
        "flow_control": id_bytes(tester_id),
        "extended": extended,
    }
