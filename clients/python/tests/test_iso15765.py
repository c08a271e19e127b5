"""ISO 15765 on a conforming adapter (strict ptsim): segmented messages come and go only through
the flow-control filters the interface installs."""

import can
import pytest
from tarnix_can import CAN_29BIT_ID, CAN_ID_BOTH
from tarnix_can.filters import default_pairs, plan

VIN = b"\x49\x02\x01PTSIM2534VIRTUAL1"


def open_iso15765(ptsim: str, **kwargs) -> can.BusABC:
    return can.Bus(interface="tarnix", channel=ptsim, protocol="ISO15765", **kwargs)


def filters_installed(calls) -> list:
    """(type, pattern, flow-control message) of the filters started since the last clearing."""
    cleared = max(i for i, c in enumerate(calls) if c.get("ioctl") == "CLEAR_MSG_FILTERS")
    return [
        (c["filterTypeName"], c["pattern"]["data"], (c["flowControl"] or {}).get("data"))
        for c in calls[cleared:]
        if c["fn"] == "PassThruStartMsgFilter"
    ]


@pytest.mark.parametrize(
    "connect_flags, request_id, answer_id",
    [(0, 0x7DF, 0x7E8), (CAN_ID_BOTH, 0x18DB33F1, 0x18DAF110)],
)
def test_vin_arrives_through_a_flow_control_filter(ptsim, connect_flags, request_id, answer_id):
    def ask(data) -> None:
        bus.send(
            can.Message(arbitration_id=request_id, data=data, is_extended_id=request_id > 0x7FF)
        )

    with open_iso15765(ptsim, connect_flags=connect_flags) as bus:
        ask([1, 0x0C])
        assert bytes(bus.recv(timeout=5).data) == bytes.fromhex("410C1AF8")
        assert bus.recv(timeout=0.2) is None  # once, though two filters let it in
        ask([9, 2])
        answer = bus.recv(timeout=5)
        assert (answer.arbitration_id, bytes(answer.data)) == (answer_id, VIN)
        # Without the pairs, only pass filters: a conforming adapter delivers no segmented answer.
        bus.set_flow_control_pairs([])
        ask([9, 2])
        assert bus.recv(timeout=0.3) is None


def test_segmented_requests_go_only_where_flow_control_comes_from(ptsim):
    with open_iso15765(ptsim) as bus:
        bus.send(can.Message(arbitration_id=0x7E0, data=bytes(10), is_extended_id=False))
        with pytest.raises(can.CanOperationError, match=r"error code 23 \[ERR_NO_FLOW_CONTROL\]"):
            bus.send(can.Message(arbitration_id=0x7DF, data=bytes(10), is_extended_id=False))


def test_filters_read_only_what_is_wanted(ptsim, ptsim_log):
    engine = {"can_id": 0x7E8, "can_mask": 0x7FF, "extended": False}
    with open_iso15765(ptsim, can_filters=[engine]) as bus:
        assert bus.flow_control_pairs == [(0x7E0, 0x7E8, False)]
    # The flow-control filter passes the engine's single frames too: no pass filter is needed.
    assert filters_installed(ptsim_log()) == [("FLOW_CONTROL_FILTER", "000007E8", "000007E0")]


def test_pairs_of_the_widths_the_channel_carries_within_the_adapters_room():
    both = CAN_29BIT_ID | CAN_ID_BOTH
    passes, pairs = plan(both, None, default_pairs(both))
    assert passes == [(0, 0, False), (0, 0, True)]
    answer_ids = [0x7E8, 0x18DAF110, 0x7E9, 0x18DAF111, 0x7EA, 0x18DAF112, 0x7EB, 0x18DAF113]
    assert [p[1] for p in pairs] == answer_ids
    assert {p[2] for p in default_pairs(CAN_29BIT_ID)} == {True}
    # A filter wider than a pair's answer id still needs a pass filter for the other ids.
    passes, pairs = plan(0, [{"can_id": 0x7E8, "can_mask": 0x7F8}], default_pairs(0))
    assert passes == [(0x7E8, 0x7F8, False)] and len(pairs) == 8
