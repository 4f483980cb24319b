#!/usr/bin/env python3
"""Builds the administrator's package into a temporary folder and checks it:
the two programs are the 32-bit deliverables, the guide is there with
Windows line ends, and the guide's exit code table names every code the
program and the launcher define, so the two never drift apart."""
import filecmp
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def defined_codes():
    codes = {}
    for header, pattern in (("src/provision/install.h", r"kResult\w+"),
                            ("src/helper/helper.h", r"kHelper\w+")):
        with open(os.path.join(ROOT, header)) as f:
            for name, value in re.findall(
                    r"constexpr int32_t (%s) = (-?\d+);" % pattern, f.read()):
                codes[name] = int(value)
    return codes


def main():
    failures = []
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["bash", os.path.join(ROOT, "scripts/package.sh"), out],
                       check=True, stdout=subprocess.DEVNULL)
        found = sorted(os.listdir(out))
        expected = ["ADMINISTRATOR-GUIDE.md", "Zelvantorix.exe", "helper.exe"]
        if found != expected:
            failures.append("package holds %s, expected %s" % (found, expected))
        for exe in ("Zelvantorix.exe", "helper.exe"):
            built = os.path.join(ROOT, "build", "win32", exe)
            packed = os.path.join(out, exe)
            if os.path.exists(packed) and not filecmp.cmp(built, packed, shallow=False):
                failures.append("%s is not the win32 build's" % exe)
        with open(os.path.join(out, "ADMINISTRATOR-GUIDE.md"), "rb") as f:
            guide = f.read()
    if guide.count(b"\n") != guide.count(b"\r\n"):
        failures.append("the guide has line ends other than CR LF")
    text = guide.decode("utf-8")
    codes = defined_codes()
    if len(codes) < 8:
        failures.append("found only %d exit code constants: %s" % (len(codes), codes))
    for name, value in sorted(codes.items()):
        row = "\n| %d |" % value
        if row not in text.replace("\r\n", "\n"):
            failures.append("exit code %d (%s) has no row in the guide" % (value, name))
        if value < 0 and str(value + 2 ** 32) not in text:
            failures.append("exit code %d lacks its unsigned form %d" % (value, value + 2 ** 32))
    for failure in failures:
        print("FAIL", failure)
    if not failures:
        print("package: %d exit codes documented, files in place" % len(codes))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
