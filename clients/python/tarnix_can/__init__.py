"""python-can interface "tarnix": any J2534 library, of either width, through the tarnix bridge.

    bus = can.Bus(interface="tarnix", channel="C:/drivers/pt32.dll", bitrate=500000)
"""

from .bus import CAN_29BIT_ID, CAN_ID_BOTH, PROTOCOLS, TarnixBus
from .locate import find_bridge, read_width

__all__ = ["TarnixBus", "CAN_29BIT_ID", "CAN_ID_BOTH", "PROTOCOLS", "find_bridge", "read_width"]
