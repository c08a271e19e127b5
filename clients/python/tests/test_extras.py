"""The adapter's extras beyond a CAN bus: pin-switched protocols with their pins, the device by
name, the programming voltage, any other ioctl and a library's device scan, against strict ptsim."""

import os

import can
import pytest
import tarnix_can


def test_a_pin_switched_bus_sets_its_pins_before_its_filters(ptsim, ptsim_log):
    with can.Bus(
        interface="tarnix", channel=ptsim, protocol="ISO15765_PS", j1962_pins="6,14",
        device_name="ptsim",
    ) as bus:
        bus.send(can.Message(arbitration_id=0x7DF, data=[1, 0x0C], is_extended_id=False))
        assert bytes(bus.recv(timeout=5).data) == bytes.fromhex("410C1AF8")
    calls = ptsim_log()
    assert calls[1]["name"] == "ptsim"
    fns = [call["fn"] for call in calls]
    at = fns.index("PassThruConnect")
    assert calls[at]["protocolId"] == 0x8005
    assert calls[at + 1]["ioctl"] == "SET_CONFIG" and calls[at + 1]["input"][0]["value"] == 0x060E
    assert fns[at + 2] == "PassThruStartMsgFilter"


def test_programming_voltage_and_other_ioctls(ptsim):
    with can.Bus(interface="tarnix", channel=ptsim) as bus:
        bus.set_programming_voltage(12, 18)
        assert bus.programming_voltage() == 18.0
        bus.set_programming_voltage(12, "off")
        assert bus.programming_voltage() == 0.0
        assert bus.ioctl(0x10000, device=True, output="bytes") == b"PTSIM-0001"
        assert bus.ioctl(0x10003, output="parameters", output_parameters=[1]) == {1: 500000}
        with pytest.raises(can.CanOperationError, match="SW_CAN_HS error code 1"):
            bus.ioctl(0x8000)


def test_a_0500_library_lists_its_devices(bin_dir, ptsim):
    devices = tarnix_can.scan_devices(os.path.join(bin_dir, "libptsim0500.so"))
    assert [device["name"] for device in devices] == ["ptsim"]
    with pytest.raises(can.CanOperationError, match="a 04.04 library has no device scan"):
        tarnix_can.scan_devices(ptsim)
