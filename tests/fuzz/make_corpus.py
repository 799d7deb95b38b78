#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/<target>/.

  make_corpus.py LOGGEN [--fuzzers DIR]

LOGGEN is the built quillon-loggen. Its logs (with the commands it expects the parser to
find) and samples/sample.log give the seeds:
  fuzz_parselog  slices of a few log lines around each kind of exchange the generator
                 writes, in all three frame protocols, and a few damaged slices;
  fuzz_decoders  the request and answer of generated commands and of the decoder tests,
                 laid out as the target reads them;
  fuzz_tlv       TLV documents with records of every value kind, nested structures and
                 damaged records.
With --fuzzers (the directory of the built libFuzzer targets) each set is then cut down to
the inputs that libFuzzer's -merge=1 keeps. The output does not depend on the run.
"""
import argparse
import hashlib
import json
import pathlib
import re
import shutil
import struct
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
OUT = ROOT / "tests/fuzz/corpus"
SEEDS = (1, 2, 3)


def hexbytes(text):
    return bytes.fromhex(text) if text else b""


# ---------------------------------------------------------------- log slices
def log_lines(path):
    return path.read_bytes().split(b"\r\n")


def window(lines, first, count):
    first = max(first, 0)
    return b"\r\n".join(lines[first:first + count]) + b"\r\n"


def parselog_seeds(loggen, work):
    found = {}
    for seed in SEEDS:
        log = work / f"log{seed}.log"
        exp = work / f"exp{seed}.jsonl"
        subprocess.run([loggen, "-o", log, "-n", "400", "--seed", str(seed), "--expected", exp],
                       check=True, capture_output=True)
        lines = log_lines(log)
        commands = [json.loads(line) for line in exp.read_text().splitlines()]

        def keep(kind, line, before=3, count=10):
            if kind not in found:
                found[kind] = window(lines, line - 1 - before, count)

        for c in commands:
            p, line = c["protocol"], c["line"]
            nxt = lines[line] if line < len(lines) else b""
            if not c["tx"]:
                keep(f"p{p}-sync", line)
            elif not c["rx"]:
                keep(f"p{p}-no-answer", line)
            elif c["result"] in (0x50, 0x4B):
                keep(f"p{p}-busy-repeat", line, 2, 16)
            elif c["result"] != 0:
                keep(f"p{p}-failed", line)
            elif c["code"] == 0x80:  # its amounts hold bytes the frames escape
                keep(f"p{p}-escaped", line, 2, 8)
            else:
                keep(f"p{p}-ok{'-ff' if c['code'] > 0xFF else ''}", line, 2, 8)
            if b"-> " in nxt and not nxt.endswith((b"05", b"06")):
                keep(f"p{p}-split-request", line)
        for i, text in enumerate(lines):
            if b"[D] ->" in text:
                found.setdefault("d-lines", window(lines, i - 2, 10))
            if "Протокол обмена".encode("cp1251") in text and i > 5:
                found.setdefault("protocol-switch", window(lines, i - 6, 14))
            if text.endswith(b"-> 05") and b"[D]" not in text:
                found.setdefault("enq-nak", window(lines, i - 1, 6))
        found[f"long-{seed}"] = window(lines, 100 * seed, 40)
    seeds = {f"gen-{kind}.log": data for kind, data in found.items()}

    sample = log_lines(ROOT / "samples/sample.log")
    for first in (0, 300, 700, 1100):
        seeds[f"sample-{first}.log"] = window(sample, first, 20)
    # Damaged slices: cut in the middle of a frame, LF line ends, one hex-only line.
    part = window(sample, 1, 6)
    seeds["cut-mid-frame.log"] = part[: len(part) // 2 + 7]
    seeds["lf-ends.log"] = part.replace(b"\r\n", b"\n")
    seeds["hex-only.txt"] = b"8F 07 00 02 00 10 1E 00 00 00 9D 74\r\n8f0700 0200 101e 0"
    return {name: data[:4096] for name, data in seeds.items()}


# ---------------------------------------------------------------- decoder inputs
def split_code(frame):
    n = 2 if frame[:1] == b"\xff" else 1
    return frame[:n], frame[n:]


def decoder_input(tx, rx):
    """The target reads the code, then a split byte: modulo the number of bytes from it on,
    where the answer (without its code) begins, 0 for none; the rest of the request
    comes before it."""
    code, request = split_code(tx)
    request = request[:254]
    if not rx:
        return code + b"\x00" + request
    return code + bytes([1 + len(request)]) + request + split_code(rx)[1]


def decoders_seeds(work):
    seeds = {}
    seen = set()
    for seed in SEEDS:
        for line in (work / f"exp{seed}.jsonl").read_text().splitlines():
            c = json.loads(line)
            if not c["tx"]:
                continue
            kind = "none" if not c["rx"] else "ok" if c["result"] == 0 else "failed"
            if (c["code"], kind) in seen:
                continue
            seen.add((c["code"], kind))
            data = decoder_input(hexbytes(c["tx"]), hexbytes(c["rx"]))
            seeds[f"gen-{c['code']:04X}-{kind}.bin"] = data
    # The literal request and answer pairs of the decoder tests.
    tests = (ROOT / "tests/parser/ParserCommandDecodersTest.cpp").read_text()
    pattern = r'Decode\("([0-9A-F ]+)",\s*"([0-9A-F ]+)"\)'
    for tx, rx in re.findall(pattern, tests):
        tx, rx = hexbytes(tx), hexbytes(rx)
        data = decoder_input(tx, rx)
        code = split_code(tx)[0].hex().upper()
        seeds[f"test-{code}-{hashlib.sha1(data).hexdigest()[:6]}.bin"] = data
    # Every other registered code: a password, then an answer with 32 bytes of data.
    registry = (ROOT / "src/parser/ParserCommands.cpp").read_text()
    for code in re.findall(r"RegisterCommand\(0x([0-9A-F]+),", registry):
        if not any(name.startswith((f"gen-{int(code, 16):04X}-", f"test-{code}-")) for name in seeds):
            head = bytes.fromhex(code)
            seeds[f"any-{code}.bin"] = head + b"\x05\x1e\x00\x00\x00\x00" + bytes(range(1, 33))
    # A code without a decoder, and a decoder's answer cut after the result code.
    seeds["code-13.bin"] = bytes([0x13, 5]) + bytes(range(1, 12))
    seeds["cut-answer.bin"] = bytes([0x11, 5, 0x1E, 0, 0, 0, 0])
    return seeds


# ---------------------------------------------------------------- TLV documents
def tlv(tag, value):
    return struct.pack("<HH", tag, len(value)) + value


def tags_by_kind():
    table = (ROOT / "src/tlv/TLVTagsTable.inc").read_text()
    kinds = {}
    for number, kind in re.findall(r"\{(\d+), (tv\w+),", table):
        kinds.setdefault(kind, []).append(int(number))
    return kinds


def tlv_seeds():
    kinds = tags_by_kind()
    text = "Молоко 3,2% 1л".encode("cp866")
    values = {
        "tvByte": [b"\x01", b"\xff", b""],
        "tvUInt16": [b"\x34\x12", b"\x01"],
        "tvUInt32": [b"\x78\x56\x34\x12", b"\x01\x02", b"\x01" * 9],
        "tvVLN": [b"\x10\x27", b"\xff" * 8, b"\x01" * 10],
        "tvFVLN": [b"\x02\x10\x27", b"\x09\x01", b"\x03", b"\x08" + b"\xff" * 8],
        "tvBitMask": [b"\x05", b"\x01\x02\x03"],
        "tvUnixTime": [b"\x80\x1b\x6c\x67", b"\xff\xff\xff\xff", b"\x01\x02\x03"],
        "tvString": [text, text + b"\x00tail", b""],
        "tvBytes": [bytes(range(16)), b""],
    }
    seeds = {}
    for kind, samples in values.items():
        numbers = kinds[kind]
        doc = b"".join(tlv(numbers[i % len(numbers)], v) for i, v in enumerate(samples))
        seeds[f"kind-{kind[2:].lower()}.bin"] = doc
    # A receipt: items (1059) with their own records, one nested a level deeper (1223).
    item = tlv(1030, "Хлеб пшеничный".encode("cp866")) + tlv(1079, b"\x10\x27") + \
        tlv(1023, b"\x00\x01") + tlv(1043, b"\x10\x27")
    agent = tlv(1223, tlv(1044, b"OPER") + tlv(1073, b"+79990000000"))
    receipt = tlv(1012, b"\x80\x1b\x6c\x67") + tlv(1040, b"\x07\x00\x00\x00") + \
        tlv(1059, item) + tlv(1059, item + agent) + tlv(1020, b"\x20\x4e") + tlv(1077, b"\x01" * 6)
    seeds["receipt.bin"] = receipt
    seeds["receipt-unknown-tag.bin"] = tlv(60000, b"\x01\x02") + receipt
    seeds["receipt-cut.bin"] = receipt[:-5]
    seeds["receipt-bad-length.bin"] = receipt[:2] + b"\xff\x7f" + receipt[4:]
    seeds["nested-bad-length.bin"] = tlv(1059, tlv(1030, b"AB")[:2] + b"\x40\x00AB")
    seeds["nested-short.bin"] = tlv(1059, b"\x16\x04")
    deep = tlv(1030, b"X")
    for _ in range(40):
        deep = tlv(1059, deep)
    seeds["deep-nesting.bin"] = deep
    seeds["header-only.bin"] = b"\x23\x04\x00\x00"
    seeds["header-cut.bin"] = b"\x23\x04\x05"
    seeds["tail-cut.bin"] = tlv(1001, b"\x01") + b"\xe9\x03\x01"
    # The TLV block of the decoder tests' document request.
    seeds["decoder-test.bin"] = hexbytes("FD 03 04 00 49 76 61 6E B3 04 03 00 31 32 33")
    return seeds


# ---------------------------------------------------------------- output
def minimise(fuzzer, folder):
    with tempfile.TemporaryDirectory() as kept:
        subprocess.run([fuzzer, "-merge=1", kept, folder], check=True, capture_output=True)
        hashes = {p.name for p in pathlib.Path(kept).iterdir()}
    for path in folder.iterdir():
        if hashlib.sha1(path.read_bytes()).hexdigest() not in hashes:
            path.unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("loggen")
    parser.add_argument("--fuzzers", type=pathlib.Path)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        sets = {
            "fuzz_parselog": parselog_seeds(args.loggen, work),
            "fuzz_decoders": decoders_seeds(work),
            "fuzz_tlv": tlv_seeds(),
        }
    for target, seeds in sets.items():
        folder = OUT / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)
        if args.fuzzers:
            minimise(args.fuzzers / target, folder)
        files = list(folder.iterdir())
        print(f"{target}: {len(files)} files, {sum(f.stat().st_size for f in files)} bytes")


if __name__ == "__main__":
    main()
