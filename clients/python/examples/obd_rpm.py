#!/usr/bin/env python3
"""Asks the engine for its speed (OBD-II service 01, PID 0C) and prints it.

    python3 obd_rpm.py build/host/bin/libptsim0404.so            # ptsim, our simulated adapter
    python3 obd_rpm.py C:/drivers/pt32.dll --protocol CAN
"""

import argparse
import sys
import time

import can

FUNCTIONAL_REQUEST_ID = 0x7DF
ENGINE_ANSWER_ID = 0x7E8
REQUEST = bytes([0x01, 0x0C])


def ask_engine_speed(bus: can.BusABC, single_frames: bool, timeout: float = 2.0) -> float:
    """Returns the engine speed in rpm. On raw CAN the payload travels in an ISO-TP single frame,
    behind its length byte; on ISO15765 the adapter adds and removes that byte itself."""
    payload = bytes([len(REQUEST)]) + REQUEST if single_frames else REQUEST
    bus.send(can.Message(arbitration_id=FUNCTIONAL_REQUEST_ID, data=payload, is_extended_id=False))
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        msg = bus.recv(timeout=deadline - time.monotonic())
        if msg is None or msg.arbitration_id != ENGINE_ANSWER_ID:
            continue
        answer = msg.data[1 : 1 + msg.data[0]] if single_frames else msg.data
        if answer[:2] == b"\x41\x0c" and len(answer) >= 4:
            return (answer[2] * 256 + answer[3]) / 4
    raise TimeoutError("the engine did not answer")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("library", help="path of the J2534 library (DLL or shared object)")
    parser.add_argument("--protocol", default="ISO15765", choices=["ISO15765", "CAN"])
    parser.add_argument("--bitrate", type=int, default=500000)
    parser.add_argument("--bridge", help="path of the tarnix executable (default: found by width)")
    args = parser.parse_args()
    with can.Bus(
        interface="tarnix",
        channel=args.library,
        bitrate=args.bitrate,
        protocol=args.protocol,
        bridge=args.bridge,
    ) as bus:
        print(f"Adapter: {bus.channel_info}")
        try:
            rpm = ask_engine_speed(bus, single_frames=args.protocol == "CAN")
        except (TimeoutError, can.CanError) as error:
            print(f"No engine speed: {error}", file=sys.stderr)
            return 1
    print(f"Engine speed: {rpm:g} rpm")
    return 0


if __name__ == "__main__":
    sys.exit(main())
