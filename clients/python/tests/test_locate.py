"""Choosing the bridge by the width that a library's file header tells."""

import os
import struct

import can
import pytest
from tarnix_can import find_bridge, read_width


def pe(machine: int) -> bytes:
    dos = bytearray(64)
    dos[:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)
    return bytes(dos) + b"PE\0\0" + struct.pack("<H", machine)


def elf(file_class: int) -> bytes:
    return b"\x7fELF" + bytes([file_class]) + bytes(59)


def huge_offset() -> bytes:
    dos = bytearray(pe(0x14C)[:64])
    struct.pack_into("<I", dos, 0x3C, 0xFFFFFFFF)
    return bytes(dos)


@pytest.mark.parametrize(
    "header, width",
    [
        (pe(0x014C), 32),
        (pe(0x8664), 64),
        (pe(0xAA64), 64),
        (elf(1), 32),
        (elf(2), 64),
        (pe(0x01C0), None),  # ARM32: no bridge loads it
        (elf(3), None),
        (pe(0x014C)[:68], None),  # cut inside the machine field
        (pe(0x014C)[:40], None),  # cut inside the DOS header
        (huge_offset(), None),
        (b"MZ", None),
        (b"\x7fELF", None),
        (b"", None),
    ],
)
def test_width_from_header(tmp_path, header, width):
    path = tmp_path / "library"
    path.write_bytes(header)
    assert read_width(path) == width


def test_bridge_of_the_librarys_width(tmp_path):
    bridges = tmp_path / "bin"
    bridges.mkdir()

    def make(path, header, executable=False):
        path.write_bytes(header)
        if executable:
            os.chmod(path, 0o755)
        return path

    plain = make(bridges / "tarnix", pe(0x8664), executable=True)
    pt32 = make(tmp_path / "pt32.dll", pe(0x014C))
    assert find_bridge(make(tmp_path / "pt64.dll", pe(0x8664)), [bridges]) == str(plain)
    # Any bridge for a library it cannot read: the bridge will tell why it cannot load it.
    assert find_bridge(tmp_path / "missing.dll", [bridges]) == str(plain)
    with pytest.raises(can.CanInterfaceNotImplementedError, match="32-bit"):
        find_bridge(pt32, [bridges])
    narrow = make(bridges / "tarnix32", pe(0x014C), executable=True)
    assert find_bridge(pt32, [bridges]) == str(narrow)
    # The unpacked Windows release keeps each width in its own folder.
    (bridges / "x86").mkdir()
    narrow.unlink()
    released = make(bridges / "x86" / "tarnix", pe(0x014C), executable=True)
    assert find_bridge(pt32, [bridges]) == str(released)
