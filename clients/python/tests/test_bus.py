"""The interface through can.Bus, as a user reaches it: by the entry point, against ptsim."""

import gc
import os
import subprocess
import sys
import time

import can
import pytest
from conftest import assert_nothing_left, child_processes
from tarnix_can import CAN_29BIT_ID

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "examples", "obd_rpm.py")


def open_bus(ptsim: str, **kwargs) -> can.BusABC:
    return can.Bus(interface="tarnix", channel=ptsim, bitrate=500000, **kwargs)


def obd_request(arbitration_id: int, extended: bool = False) -> can.Message:
    # An ISO-TP single frame: length byte, service 01, PID 0C (engine speed).
    return can.Message(arbitration_id=arbitration_id, data=[2, 1, 0x0C], is_extended_id=extended)


def test_engine_speed_over_can(ptsim):
    with open_bus(ptsim) as bus:
        assert "ptsim 1.0" in bus.channel_info
        bus.send(obd_request(0x7DF))
        answer = bus.recv(timeout=5)
        received = time.time()
    assert (answer.arbitration_id, answer.is_extended_id) == (0x7E8, False)
    assert bytes(answer.data) == bytes.fromhex("04410C1AF8AAAAAA")
    # On python-can's clock, never after its arrival; the device's own count kept beside it.
    assert received - 5 < answer.timestamp <= received
    assert 0 < answer.device_timestamp_us < 60e6
    assert answer.channel == "libptsim0404"


def test_extended_identifiers_are_sent_and_filtered_as_such(ptsim, ptsim_log):
    answers = {"can_id": 0x18DAF110, "can_mask": 0x1FFFFFFF, "extended": True}
    with open_bus(ptsim, connect_flags=CAN_29BIT_ID, can_filters=[answers]) as bus:
        bus.send(obd_request(0x18DB33F1, extended=True))
        answer = bus.recv(timeout=5)
    assert (answer.arbitration_id, answer.is_extended_id) == (0x18DAF110, True)
    writes = [call for call in ptsim_log() if call["fn"] == "PassThruWriteMsgs"]
    assert writes[0]["msgs"][0]["txFlags"] == CAN_29BIT_ID


def test_example_reads_engine_speed_and_vin_over_iso15765(ptsim):
    run = subprocess.run(
        [sys.executable, EXAMPLE, ptsim], capture_output=True, text=True, timeout=60, check=False
    )
    assert run.returncode == 0, run.stderr
    assert "Engine speed: 1726 rpm" in run.stdout
    assert "VIN: PTSIM2534VIRTUAL1" in run.stdout


def test_filters_are_installed_in_the_adapter(ptsim):
    with open_bus(ptsim, can_filters=[{"can_id": 0x7E9, "can_mask": 0x7FF}]) as bus:
        bus.send(obd_request(0x7DF))
        # The adapter dropped the answer: it does not come when the filters are lifted.
        bus.set_filters(None)
        assert bus.recv(timeout=0.3) is None
        bus.set_filters([{"can_id": 0x7E8, "can_mask": 0x7FF, "extended": False}])
        bus.send(obd_request(0x7DF))
        assert bus.recv(timeout=5).arbitration_id == 0x7E8
        # More filters than the adapter holds: it passes everything and python-can filters.
        bus.set_filters([{"can_id": i, "can_mask": 0x7FF} for i in range(0x7E0, 0x7F0)])
        bus.send(obd_request(0x7DF))
        assert bus.recv(timeout=5).arbitration_id == 0x7E8


def test_oversize_frame_is_refused_with_the_bridges_text(ptsim):
    with open_bus(ptsim) as bus:
        with pytest.raises(can.CanOperationError) as refused:
            bus.send(can.Message(arbitration_id=0x7DF, data=bytes(9), is_extended_id=False))
        assert str(refused.value).startswith("ERR_J2534_MSG_TOO_LONG: 9 data bytes, at most 8")
        bus.send(obd_request(0x7DF))
        assert bus.recv(timeout=5) is not None


def test_library_that_cannot_be_loaded(tmp_path):
    with pytest.raises(can.CanInitializationError, match="^ERR_J2534_DLL_LOAD: "):
        open_bus(str(tmp_path / "missing.so"))
    assert_nothing_left()


def test_recv_keeps_surplus_frames_and_times_out(ptsim, monkeypatch):
    monkeypatch.setenv("PTSIM_TRAFFIC", "5")
    with open_bus(ptsim) as bus:
        frames = [bus.recv(timeout=5) for _ in range(5)]
        assert [int.from_bytes(f.data[:4], "big") for f in frames] == [0, 1, 2, 3, 4]
        assert bus.recv(timeout=0) is None
        start = time.monotonic()
        assert bus.recv(timeout=0.3) is None
        assert time.monotonic() - start >= 0.3


def test_shutdown_closes_the_adapter_and_ends_the_bridge(ptsim, ptsim_log):
    bus = open_bus(ptsim)
    assert len(child_processes()) == 1
    bus.shutdown()
    assert_nothing_left()
    calls = [call["fn"] for call in ptsim_log()]
    assert calls[-2:] == ["PassThruClose", "unload"]
    bus.shutdown()


def test_a_forgotten_bus_ends_its_bridge(ptsim):
    bus = open_bus(ptsim)
    del bus
    gc.collect()
    assert_nothing_left()
