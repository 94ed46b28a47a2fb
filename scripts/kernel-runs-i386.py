#!/usr/bin/env python3
"""Tells whether this machine's kernel executes 32-bit x86 programs, the ones
32-bit Wine is made of, by running one: a static i386 ELF of 120 bytes, written
here, that prints "i386" through the 32-bit system call gate and exits 0.

    kernel-runs-i386.py FOLDER     (the probe is written there, then removed)
Exit status: 0 the kernel ran it; 3 the kernel refuses 32-bit programs (the
one line printed says so); 1 anything else went wrong (the probe could not be
written or started, or it did not do what it should): a fault to report.
"""
import errno
import os
import struct
import subprocess
import sys

BASE = 0x08048000
HEADERS = 52 + 32  # the ELF header and one program header
MESSAGE = b"i386\n"


def probe():
    code = bytes.fromhex(
        "b804000000"  # mov eax, 4          write(
        "bb01000000"  # mov ebx, 1            standard output,
        "b9") + struct.pack("<I", BASE + HEADERS + 31) + bytes.fromhex(  # mov ecx, MESSAGE
        "ba") + struct.pack("<I", len(MESSAGE)) + bytes.fromhex(  # mov edx, its length)
        "cd80"        # int 0x80
        "b801000000"  # mov eax, 1          exit(
        "31db"        # xor ebx, ebx          0)
        "cd80")       # int 0x80
    assert len(code) == 31
    size = HEADERS + len(code) + len(MESSAGE)
    elf = (b"\x7fELF\x01\x01\x01" + bytes(9)  # 32-bit, little-endian, current version, System V
           + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, BASE + HEADERS, 52, 0, 0, 52, 32, 1, 0, 0, 0))
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)  # PT_LOAD, read + execute
    return elf + segment + code + MESSAGE


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    path = os.path.join(argv[1], "i386-probe")
    try:
        os.makedirs(argv[1], exist_ok=True)
        with open(path, "wb") as out:
            out.write(probe())
        os.chmod(path, 0o755)
        try:
            result = subprocess.run([path], capture_output=True, timeout=30)
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                print("this machine's kernel cannot execute 32-bit programs (an i386 program: %s)" % error.strerror)
                return 3
            raise
    except (OSError, subprocess.SubprocessError) as error:
        print("kernel-runs-i386: the 32-bit probe could not be run: %s" % error, file=sys.stderr)
        return 1
    finally:
        if os.path.exists(path):
            os.remove(path)
    if result.returncode != 0 or result.stdout != MESSAGE:
        print("kernel-runs-i386: the 32-bit probe ended with status %d and printed %r" % (result.returncode, result.stdout),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
