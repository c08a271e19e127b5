"""python-can interface "tarnix": any J2534 library, of either width, through the tarnix bridge.

    bus = can.Bus(interface="tarnix", channel="C:/drivers/pt32.dll", bitrate=500000)
"""

from .bus import TarnixBus
from .extras import scan_devices
from .filters import CAN_29BIT_ID, CAN_ID_BOTH
from .frames import TarnixMessage
from .locate import find_bridge, read_width
from .options import PROTOCOLS

__all__ = [
    "TarnixBus",
    "TarnixMessage",
    "CAN_29BIT_ID",
    "CAN_ID_BOTH",
    "PROTOCOLS",
    "find_bridge",
    "read_width",
    "scan_devices",
]
