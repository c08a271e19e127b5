"""Finds the bridge executable whose width matches a J2534 library, read from the files' headers."""

import os
import struct
import sys
from pathlib import Path
from typing import Dict, Iterable, Iterator, List, Optional, Union

import can

PathLike = Union[str, "os.PathLike[str]"]

# COFF machine types of the modules a Windows bridge can load, by width.
_PE_MACHINE_WIDTHS = {0x8664: 64, 0xAA64: 64, 0x014C: 32}
# e_ident[EI_CLASS] of an ELF file.
_ELF_CLASS_WIDTHS = {1: 32, 2: 64}
_EXE_SUFFIX = ".exe" if sys.platform == "win32" else ""


def read_width(path: PathLike) -> Optional[int]:
    """Returns 32 or 64, the width of the library or executable at path; None when unreadable.

    A PE file (DLL, EXE) tells it by its COFF machine field, an ELF file (shared object) by its
    class. Any file may be handed in: short, damaged or foreign files give None.
    """
    try:
        with open(path, "rb") as file:
            head = file.read(64)
            if head[:4] == b"\x7fELF" and len(head) > 4:
                return _ELF_CLASS_WIDTHS.get(head[4])
            if head[:2] != b"MZ" or len(head) < 64:
                return None
            (pe_offset,) = struct.unpack_from("<I", head, 0x3C)
            file.seek(pe_offset)
            pe = file.read(6)
    except (OSError, ValueError, OverflowError):
        return None
    if len(pe) < 6 or pe[:4] != b"PE\0\0":
        return None
    return _PE_MACHINE_WIDTHS.get(struct.unpack_from("<H", pe, 4)[0])


def default_search_dirs() -> List[Path]:
    """The package's own directory first, then every directory on PATH."""
    dirs = [Path(__file__).resolve().parent]
    dirs += [Path(entry) for entry in os.environ.get("PATH", "").split(os.pathsep) if entry]
    return dirs


def _bridge_names(width: Optional[int]) -> List[str]:
    # A package may carry both widths side by side (tarnix32, tarnix64), the unpacked Windows release
    # has them in x64/ and x86/, and PATH may hold plain tarnix.
    by_width = []
    if width:
        release_folder = "x64" if width == 64 else "x86"
        by_width = [f"tarnix{width}{_EXE_SUFFIX}", f"{release_folder}/tarnix{_EXE_SUFFIX}"]
    return by_width + [f"tarnix{_EXE_SUFFIX}"]


def _candidates(names: List[str], dirs: Iterable[Path]) -> Iterator[Path]:
    for directory in dirs:
        for name in names:
            path = directory / name
            if path.is_file() and os.access(path, os.X_OK):
                yield path


def find_bridge(library: PathLike, search_dirs: Optional[Iterable[Path]] = None) -> str:
    """Returns the path of a bridge of the library's width, from search_dirs (default: beside the
    package, then PATH).

    When the library's width cannot be read (a missing or damaged file), any bridge will do: it then
    reports why the library cannot be loaded. Raises can.CanInterfaceNotImplementedError when no
    fitting bridge is found.
    """
    width = read_width(library)
    names = _bridge_names(width)
    dirs = list(search_dirs) if search_dirs is not None else default_search_dirs()
    for path in _candidates(names, dirs):
        if width is None or read_width(path) == width:
            return str(path)
    wanted = f"a {width}-bit tarnix bridge" if width else "a tarnix bridge"
    raise can.CanInterfaceNotImplementedError(
        f"tarnix: {wanted} ({' or '.join(names)}) for {os.fspath(library)} was found neither "
        "beside the tarnix_can package nor on PATH; pass bridge=<path of the executable>"
    )


def find_bridges(search_dirs: Optional[Iterable[Path]] = None) -> Dict[int, str]:
    """The first bridge of each width found in search_dirs (default: beside the package, then
    PATH), by width: the libraries this machine can drive."""
    names = _bridge_names(64) + _bridge_names(32)
    dirs = list(search_dirs) if search_dirs is not None else default_search_dirs()
    found: Dict[int, str] = {}
    for path in _candidates(list(dict.fromkeys(names)), dirs):
        width = read_width(path)
        if width is not None:
            found.setdefault(width, str(path))
    return found
