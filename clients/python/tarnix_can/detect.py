"""can.detect_available_configs for "tarnix": the J2534 interfaces registered on this machine whose
libraries a bridge found here can load."""

import logging
from pathlib import Path
from typing import Any, Dict, Iterable, List, Optional

import can

from .bridge import BridgeSession
from .locate import find_bridges

LOG = logging.getLogger("can.tarnix")


def detect_configs(search_dirs: Optional[Iterable[Path]] = None) -> List[Dict[str, Any]]:
    """One configuration per usable registration: its library as the channel, the protocols among
    CAN and ISO15765 it offers, and its name. Asks one bridge (EnumerateDevices, which loads no
    library); an empty list when no bridge is found or it cannot answer."""
    bridges = find_bridges(search_dirs)
    if not bridges:
        return []
    try:
        devices = _enumerate(next(iter(bridges.values())))
    except can.CanError as error:
        LOG.info("tarnix: no interfaces listed: %s", error)
        return []
    configs = []
    for device in devices:
        protocols = [
            name
            for name, offered in (
                ("CAN", device["canIso11898"]),
                ("ISO15765", device["canIso15765"]),
            )
            if offered
        ]
        if device["available"] and device["bitness"] in bridges and protocols:
            configs.append(
                {
                    "interface": "tarnix",
                    "channel": device["dllPath"],
                    "protocols": protocols,
                    "name": device["name"],
                }
            )
    return configs


def _enumerate(bridge: str) -> List[Dict[str, Any]]:
    session = BridgeSession(bridge)
    try:
        devices = session.request("EnumerateDevices")
        session.request("Shutdown")
        session.mark_shut_down()
    finally:
        session.close()
    return devices
