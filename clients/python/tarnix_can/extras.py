"""The adapter's extras as methods of the bus: voltages, configuration, the programming voltage
and any other ioctl; and the devices a 05.00 library finds."""

from typing import Any, Dict, List, Optional, Sequence, Union

from .bridge import BridgeSession
from .locate import PathLike, find_bridge

#: PassThruSetProgrammingVoltage's voltages that are no voltage, by their wire names.
VOLTAGE_WORDS = ("off", "ground")


class AdapterExtras:
    """Methods of TarnixBus beyond python-can's, on the bridge session `_session`."""

    _session: BridgeSession

    def battery_voltage(self) -> float:
        """The vehicle battery's voltage as the adapter measures it, in volts."""
        return self._session.request("ReadBatteryVoltage")

    def programming_voltage(self) -> float:
        """The programming voltage the adapter puts out, in volts."""
        return self._session.request("ReadProgrammingVoltage")

    def set_programming_voltage(self, pin: int, volts: Union[float, str]) -> None:
        """Puts `volts` (5 to 20) on J1962 pin `pin`, or "off", or "ground" (pin 15 only), as
        flashing an ECU needs to wake its boot loader."""
        voltage = volts if volts in VOLTAGE_WORDS else round(float(volts) * 1000)
        self._session.request("SetProgrammingVoltage", {"pin": int(pin), "voltage": voltage})

    def get_config(self, parameter: int) -> int:
        """A J2534 configuration parameter of the channel (1 DATA_RATE, 3 LOOPBACK, ...)."""
        return self._session.request("GetConfig", {"parameter": int(parameter)})

    def set_config(self, parameter: int, value: int) -> None:
        """Sets a J2534 configuration parameter of the channel."""
        self._session.request("SetConfig", {"parameter": int(parameter), "value": int(value)})

    def ioctl(
        self,
        ioctl_id: int,
        *,
        device: bool = False,
        parameters: Optional[Dict[int, int]] = None,
        data: Optional[Sequence[int]] = None,
        number: Optional[int] = None,
        output: str = "none",
        output_parameters: Optional[Sequence[int]] = None,
    ) -> Any:
        """Any ioctl the bridge has no method for (single-wire CAN's SW_CAN_HS 0x8000, J1850's
        lookup tables, a vendor's own), on the channel or the device, with at most one input: a
        parameter list, bytes or a number. `output` is what the ioctl writes: "none", "number",
        "bytes", "parameters" (the values of `output_parameters`) or "record"; it is answered."""
        params: Dict[str, Any] = {"ioctl_id": int(ioctl_id), "device": device, "output": output}
        if parameters is not None:
            params["input_parameters"] = [
                {"parameter": int(key), "value": int(value)} for key, value in parameters.items()
            ]
        if data is not None:
            params["input_bytes"] = list(data)
        if number is not None:
            params["input_number"] = int(number)
        if output_parameters is not None:
            params["output_parameters"] = [int(parameter) for parameter in output_parameters]
        answer = self._session.request("Ioctl", params)
        if output == "parameters":
            return {entry["parameter"]: entry["value"] for entry in answer}
        return bytes(answer) if output == "bytes" else answer


def scan_devices(library: PathLike, bridge: Optional[PathLike] = None) -> List[Dict[str, Any]]:
    """The devices a 05.00 J2534 library finds (ScanDevices): each a dict with "name", which the
    bus's device_name keyword takes, and the library's other fields. Loads the library in a bridge
    of its width; a 04.04 library raises can.CanOperationError (it has no scan)."""
    session = BridgeSession(str(bridge) if bridge is not None else find_bridge(library))
    try:
        devices = session.request("ScanDevices", {"dll_path": str(library)})
        session.request("Shutdown")
        session.mark_shut_down()
    finally:
        session.close()
    return devices
