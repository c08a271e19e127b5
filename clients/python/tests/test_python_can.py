"""What python-can users expect of an interface, through python-can's own entry points."""

import json
import shutil

import can
import pytest
from can.broadcastmanager import ThreadBasedCyclicSendTask
from conftest import assert_nothing_left
from tarnix_can.periodic import AdapterPeriodicTask

ENGINE_SPEED = [2, 1, 0x0C]


def open_bus(ptsim: str, **kwargs) -> can.BusABC:
    return can.Bus(interface="tarnix", channel=ptsim, **kwargs)


def request(data=ENGINE_SPEED) -> can.Message:
    return can.Message(arbitration_id=0x7DF, data=data, is_extended_id=False)


def test_own_messages_are_received_in_order(ptsim):
    with open_bus(ptsim, receive_own_messages=True) as bus:
        bus.send(request())
        own, answer = bus.recv(timeout=5), bus.recv(timeout=5)
    assert (own.arbitration_id, own.is_rx, bytes(own.data)) == (0x7DF, False, bytes(ENGINE_SPEED))
    assert (answer.arbitration_id, answer.is_rx) == (0x7E8, True)


def test_configurations_are_detected_from_the_registrations(ptsim, bin_dir, tmp_path, monkeypatch):
    monkeypatch.setenv("HOME", str(tmp_path))
    folder = tmp_path / ".passthru"
    folder.mkdir()
    narrow = tmp_path / "pt32.so"
    narrow.write_bytes(b"\x7fELF\x01" + bytes(59))  # 32 bits: no bridge here loads it
    for name, library, can_protocols in [
        ("a", ptsim, True),
        ("b", str(narrow), True),
        ("c", str(tmp_path / "missing.so"), True),
        ("d", shutil.copy(ptsim, tmp_path / "kline.so"), False),
    ]:
        registration = {"NAME": name, "FUNCTION_LIB": str(library)}
        registration.update({"CAN": can_protocols, "ISO15765": can_protocols, "ISO9141": True})
        (folder / f"{name}.json").write_text(json.dumps(registration))
    configs = can.detect_available_configs(interfaces=["tarnix"])
    assert configs == [
        {"interface": "tarnix", "channel": ptsim, "protocols": ["CAN", "ISO15765"], "name": "a"}
    ]
    with can.Bus(**configs[0]) as bus:
        assert "ptsim" in bus.channel_info


def test_the_adapter_repeats_what_fits_it(ptsim, ptsim_log):
    with open_bus(ptsim) as bus:
        task = bus.send_periodic(request(), period=0.01)
        assert isinstance(task, AdapterPeriodicTask)
        answers = [bus.recv(timeout=5) for _ in range(3)]
        assert all(answer.arbitration_id == 0x7E8 for answer in answers)
        task.stop()
        sequence = bus.send_periodic([request(), request([2, 1, 0x0D])], period=0.01)
        assert isinstance(sequence, ThreadBasedCyclicSendTask)
    calls = ptsim_log()
    started = [c for c in calls if c["fn"] == "PassThruStartPeriodicMsg"]
    assert [(c["interval"], c["ret"]) for c in started] == [(10, 0)]
    assert any(c["fn"] == "PassThruStopPeriodicMsg" and c["ret"] == 0 for c in calls)


def test_text_from_configuration_files_is_read(ptsim, ptsim_log, tmp_path, monkeypatch):
    monkeypatch.setenv("HOME", str(tmp_path))
    (tmp_path / ".canrc").write_text(
        f"[default]\ninterface = tarnix\nchannel = {ptsim}\nbitrate = 250000\n"
        "connect_flags = 0x800\nreceive_own_messages = true\nflow_control_pairs = 0x7E0:0x7E8\n"
    )
    with can.Bus() as bus:
        bus.send(request())
        assert bus.recv(timeout=5).is_rx is False
    connect = next(c for c in ptsim_log() if c["fn"] == "PassThruConnect")
    assert (connect["flags"], connect["baudRate"]) == (0x800, 250000)


def test_received_frames_go_through_log_files(ptsim, tmp_path):
    with open_bus(ptsim) as bus:
        bus.send(request())
        answer = bus.recv(timeout=5)
    for suffix in (".log", ".asc", ".blf", ".csv"):
        path = str(tmp_path / f"frames{suffix}")
        with can.Logger(path) as logger:
            logger(answer)
        [read] = list(can.LogReader(path))
        assert (read.arbitration_id, read.data) == (answer.arbitration_id, answer.data), suffix
        if suffix != ".asc":  # ASC files count from their start
            assert abs(read.timestamp - answer.timestamp) < 1e-3, suffix
        if suffix == ".log":  # the one format that keeps a channel's name
            assert read.channel == answer.channel


def test_what_cannot_be_done_is_refused(ptsim):
    for fd_keywords in ({"fd": True}, {"data_bitrate": 2000000}):
        with pytest.raises(can.CanInitializationError, match="CAN FD"):
            open_bus(ptsim, **fd_keywords)
    with pytest.raises(ValueError, match="connect_flags must be a number"):
        open_bus(ptsim, connect_flags="both")
    assert_nothing_left()


def test_the_adapters_extras(ptsim):
    with open_bus(ptsim) as bus:
        # Strict ptsim answers the voltage on the device only: the bridge asks it after the channel.
        assert bus.battery_voltage() == 12.6
        bus.set_config(0x20, 8)
        assert bus.get_config(0x20) == 8
