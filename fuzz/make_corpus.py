#!/usr/bin/env python3
"""Writes the seed corpora (corpus/<target>/) from the wire examples of the link, network and
map27dump tests. Run it again after adding examples there; files are named by their content, so
seeds added by hand (or crash inputs kept for regression) stay."""
import hashlib
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"
HEX = re.compile(r'"((?:[0-9A-Fa-f]{2} )+[0-9A-Fa-f]{2})')


def hex_strings(folder):
    found = []
    for source in sorted((ROOT / folder).glob("*.cpp")):
        found += HEX.findall(source.read_text())
    return [bytes.fromhex(h) for h in dict.fromkeys(found)]


def case_lines(name):
    text = (ROOT / "tools/tests/cases" / name).read_text()
    return [bytes.fromhex(line) for line in text.splitlines() if line.strip()]


def write(target, seeds):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    for seed in dict.fromkeys(seeds):
        (folder / ("seed-" + hashlib.sha1(seed).hexdigest()[:12])).write_bytes(seed)


link = hex_strings("map27/link/tests")
network = hex_strings("map27/network/tests")
frames = [b for b in link + network if b[:3] == b"\x16\x10\x02"] + case_lines("frames.in")
messages = [b for b in network if b[:3] != b"\x16\x10\x02"] + case_lines("messages.in")[:-1]
noise = case_lines("noise.in")

write("frame_codec", frames)
stream = b"".join(frames)
write("frame_assembler",
      [b"\x00\x00\x00" + f for f in frames]  # one byte at a time
      + [b"\x00\x02\x02\x06\x10" + stream, b"\x02\x01\x20" + b"".join(noise), b"\x01\x00\x03" + stream])
write("decoder", messages)
write("hex_integer", [t.encode() for t in (
    "008", "2001", "01", "$FF", "0x7FFFFFFF", "$FFFFFFFF", "-2147483648", "2147483648", "12a",
    "  +42", "-0", "0x", "a1 b2-c3", "ABC", "80 08 07 D1 00 01")])
write("engineer_lines",
      [bytes([mode, cut]) + text for mode in (0, 1, 2) for cut in (0, 5, 0x43) for text in (
          b"@0102#", b"0A0b0C", b"0G", b"ABC", b"\x02hello\x03\x02rest", b"line\r\n\x00\x7f\xe1")]
      + [bytes([mode, 7]) + f for mode in (0, 1, 2) for f in frames[:4]])
dump_inputs = [(ROOT / "tools/tests/cases" / n).read_bytes()
               for n in ("frames.in", "messages.in", "noise.in", "frames_short.in", "bad_hex.in",
                         "empty_lines.in")]
write("map27dump", [bytes([0]) + t for t in dump_inputs] + [bytes([1]) + t for t in dump_inputs])
write("wire_capture", [(ROOT / "tools/tests/cases" / n).read_bytes()
                       for n in ("capture.in", "capture_malformed.in")]
      + [b"2026-12-08T20:39:59.137 T>R 16 10 02 04 01 01 00 F0 25 48 10 03 90 0D !bad\r\n"])


# The link engine: operations as LinkEngineFuzz.cpp reads them.
def lr(n1=127, k=1, version=1): return bytes([0, n1, k, version])
def la_in_sequence(nk=1): return bytes([1, 0x80 | nk])
def lt_in_sequence(message): return bytes([2, 0x81, len(message)]) + message
def advance(ms): return bytes([5, (ms // 2) >> 8, (ms // 2) & 0xFF])
def send(message): return bytes([6, len(message)]) + message


status = bytes.fromhex("80 08 07 D1 00 01")
up = lr() + la_in_sequence()
write("link_engine", [
    up,
    up + send(status) + la_in_sequence() + lt_in_sequence(status) + advance(200),
    up + send(status) + advance(40000) + advance(40000),
    lr(16, 2, 1) + la_in_sequence(2) + send(bytes(range(40))) + send(status) + advance(5000),
    up + bytes([8, 0]) + send(status) + bytes([8, 5 | 0x08]) + advance(35000) + bytes([7]),
    up + bytes([3, 8]) + bytes.fromhex("16 10 02 02 01 01 00 10") + bytes([4, 3, 2]) + advance(1000),
    advance(3000) + bytes([8, 4 | (5 << 3)]) + bytes([7]) + advance(3000),
])
print("corpus written to", CORPUS)
