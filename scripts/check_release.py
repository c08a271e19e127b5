#!/usr/bin/python3
"""Checks what scripts/release.sh wrote: archive contents, checksums, the executables' machine
types and the Windows version resource. Usage: check_release.py DIST_DIR [JUNIT_XML]"""
import hashlib
import io
import re
import sys
import tarfile
import zipfile
from xml.sax.saxutils import escape

PE_MACHINE = {0x8664: "x86-64", 0x014C: "i386"}
# Each Windows folder's files (the bridge first) and the Linux archive's programs and library.
WINDOWS_FILES = ["tarnix.exe", "tarnix_passthru.dll", "tarnix_register.exe"]
LINUX_FILES = ["tarnix", "libtarnix_passthru.so", "tarnix_register"]


def pe_machine(image):
    """The COFF machine of a PE image, and whether it is a console program."""
    if image[:2] != b"MZ":
        raise ValueError("no MZ signature")
    pe = int.from_bytes(image[0x3C:0x40], "little")
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine = int.from_bytes(image[pe + 4:pe + 6], "little")
    subsystem = int.from_bytes(image[pe + 24 + 68:pe + 24 + 70], "little")
    return PE_MACHINE.get(machine, hex(machine)), subsystem == 3


def version_strings(image):
    """The StringFileInfo values of the version resource, read from the UTF-16 text."""
    found = {}
    for key in ("ProductName", "FileVersion", "ProductVersion", "OriginalFilename",
                "FileDescription"):
        pattern = (key.encode("utf-16-le") + b"(?:\0\0)+((?:[^\0].|\0[^\0])*?)\0\0")
        match = re.search(pattern, image, re.DOTALL)
        if match:
            found[key] = match.group(1).decode("utf-16-le", "replace")
    return found


def main():
    dist = sys.argv[1].rstrip("/")
    results = []

    def check(name, fn):
        try:
            fn()
            results.append((name, None))
            print(f"ok   {name}")
        except Exception as fault:  # a check's own failure is its verdict
            results.append((name, str(fault) or type(fault).__name__))
            print(f"FAIL {name}: {fault}")

    sums = {}

    def checksums():
        lines = open(f"{dist}/SHA256SUMS").read().splitlines()
        for line in lines:
            digest, name = line.split(None, 1)
            sums[name.lstrip("*")] = digest
        if len(sums) != 2:
            raise AssertionError(f"expected two archives in SHA256SUMS, found {sorted(sums)}")
        for name, digest in sums.items():
            actual = hashlib.sha256(open(f"{dist}/{name}", "rb").read()).hexdigest()
            if actual != digest:
                raise AssertionError(f"{name}: checksum {actual} != {digest}")

    check("checksums", checksums)
    zips = [n for n in sums if n.endswith("-windows.zip")]
    tars = [n for n in sums if n.endswith("-linux-x86_64.tar.gz")]
    version = zips[0][len("tarnix-"):-len("-windows.zip")] if zips else None

    def windows_archive():
        with zipfile.ZipFile(f"{dist}/{zips[0]}") as archive:
            names = sorted(archive.namelist())
            want = sorted(["LICENSE", "README.md"] +
                          [f"{folder}/{file}" for folder in ("x64", "x86") for file in WINDOWS_FILES])
            if names != want:
                raise AssertionError(f"zip holds {names}, expected {want}")
            for folder, machine in (("x64", "x86-64"), ("x86", "i386")):
                for file in WINDOWS_FILES[1:]:
                    found, _ = pe_machine(archive.read(f"{folder}/{file}"))
                    if found != machine:
                        raise AssertionError(f"{folder}/{file}: {found}, expected {machine}")
            for path, machine in (("x64/tarnix.exe", "x86-64"), ("x86/tarnix.exe", "i386")):
                image = archive.read(path)
                found, console = pe_machine(image)
                if found != machine or not console:
                    raise AssertionError(f"{path}: {found}, console={console}")
                strings = version_strings(image)
                if strings.get("ProductName") != "tarnix" or \
                        strings.get("ProductVersion") != version or \
                        strings.get("OriginalFilename") != "tarnix.exe":
                    raise AssertionError(f"{path}: version resource {strings}")

    def linux_archive():
        with tarfile.open(f"{dist}/{tars[0]}") as archive:
            names = sorted(archive.getnames())
            if names != sorted(["LICENSE", "README.md"] + LINUX_FILES):
                raise AssertionError(f"tarball holds {names}")
            for name in LINUX_FILES:
                member = archive.getmember(name)
                image = archive.extractfile(member).read()
                if image[:5] != b"\x7fELF\x02" or int.from_bytes(image[18:20], "little") != 62:
                    raise AssertionError(f"{name} is not an x86-64 ELF image")
                if not name.endswith(".so") and not member.mode & 0o111:
                    raise AssertionError(f"{name} is not executable")
            tar_version = tars[0][len("tarnix-"):-len("-linux-x86_64.tar.gz")]
            if tar_version != version:
                raise AssertionError(f"versions differ: {tar_version} / {version}")

    check("windows archive", windows_archive)
    check("linux archive", linux_archive)

    if len(sys.argv) > 2:
        failures = sum(1 for _, problem in results if problem)
        with io.open(sys.argv[2], "w", encoding="utf-8") as xml:
            xml.write(f'<testsuite name="release" tests="{len(results)}" '
                      f'failures="{failures}" errors="0" skipped="0">\n')
            for name, problem in results:
                xml.write(f'  <testcase classname="release" name="{escape(name)}"')
                if problem:
                    xml.write(f'><failure message="{escape(problem, {chr(34): "&quot;"})}"/>'
                              f'</testcase>\n')
                else:
                    xml.write("/>\n")
            xml.write("</testsuite>\n")
    return 1 if any(problem for _, problem in results) else 0


if __name__ == "__main__":
    sys.exit(main())
