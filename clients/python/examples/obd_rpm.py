#!/usr/bin/env python3
"""Asks the engine for its speed (OBD-II service 01, PID 0C) and the vehicle for its VIN (09 02).

    python3 obd_rpm.py build/host/bin/libptsim0404.so            # ptsim, our simulated adapter
    python3 obd_rpm.py C:/drivers/pt32.dll --protocol CAN

python-can's Notifier receives in a thread of its own while this one sends: a send never waits
for the receiving thread. On ISO15765 the adapter segments and reassembles messages through the
flow-control filters the interface installs for the OBD identifier pairs (7E0/7E8 ...), so the
VIN's 20 bytes arrive as one message; on raw CAN each frame carries its ISO-TP byte, and a long
answer is left to an ISO-TP stack (can-isotp, say).
"""

import argparse
import sys
import time
from typing import Optional

import can

FUNCTIONAL_REQUEST_ID = 0x7DF
ENGINE_ANSWER_ID = 0x7E8


def ask(
    bus: can.BusABC,
    answers: can.BufferedReader,
    request: bytes,
    single_frames: bool,
    timeout: float = 2.0,
) -> bytes:
    """Sends an OBD-II request and returns the engine's positive answer (service + 0x40 first).
    On raw CAN the payload travels in an ISO-TP single frame, behind its length byte; on ISO15765
    the adapter adds and removes that byte itself."""
    payload = bytes([len(request)]) + request if single_frames else request
    bus.send(can.Message(arbitration_id=FUNCTIONAL_REQUEST_ID, data=payload, is_extended_id=False))
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        msg: Optional[can.Message] = answers.get_message(deadline - time.monotonic())
        if msg is None or msg.arbitration_id != ENGINE_ANSWER_ID:
            continue
        answer = msg.data[1 : 1 + msg.data[0]] if single_frames else msg.data
        if answer[:2] == bytes([request[0] + 0x40, request[1]]):
            return bytes(answer)
    raise TimeoutError(f"no answer to {request.hex()}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("library", help="path of the J2534 library (DLL or shared object)")
    parser.add_argument("--protocol", default="ISO15765", choices=["ISO15765", "CAN"])
    parser.add_argument("--bitrate", type=int, default=500000)
    parser.add_argument("--bridge", help="path of the tarnix executable (default: found by width)")
    args = parser.parse_args()
    single_frames = args.protocol == "CAN"
    with can.Bus(
        interface="tarnix",
        channel=args.library,
        bitrate=args.bitrate,
        protocol=args.protocol,
        bridge=args.bridge,
    ) as bus:
        print(f"Adapter: {bus.channel_info}")
        print(f"Battery: {bus.battery_voltage():.1f} V")
        answers = can.BufferedReader()
        notifier = can.Notifier(bus, [answers])
        try:
            speed = ask(bus, answers, bytes([0x01, 0x0C]), single_frames)
            print(f"Engine speed: {(speed[2] * 256 + speed[3]) / 4:g} rpm")
            if not single_frames:
                vin = ask(bus, answers, bytes([0x09, 0x02]), single_frames)
                print(f"VIN: {vin[3:].decode('ascii', 'replace')}")
        except (TimeoutError, can.CanError) as error:
            print(f"No answer: {error}", file=sys.stderr)
            return 1
        finally:
            notifier.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
