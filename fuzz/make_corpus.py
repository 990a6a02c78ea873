#!/usr/bin/env python3
"""Writes the seed corpora of the record-layer fuzz targets (fuzz/corpus_reader, fuzz/corpus_keyed):
a few dozen small files, each the target's settings bytes followed by a file's content, taken from
the scenario data files and from records made here; and of the whole-run target (fuzz/corpus_run):
each control file of the scenarios with the first data file of its folder that it names.
Run from anywhere; rewrites the three folders."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
SCEN = os.path.join(ROOT, "tests", "scenarios")


def scenario(path):
    with open(os.path.join(SCEN, path), "rb") as f:
        return f.read()


def lines():
    return [l for l in scenario("run_files_text_formats/in.txt").replace(b"\r", b"").split(b"\n") if l]


def v_records(records, blocked, nobdw=False, per_block=3):
    out = b""
    for i in range(0, len(records), per_block if blocked else 1):
        group = records[i:i + (per_block if blocked else 1)]
        body = b"".join(struct.pack(">HH", len(r) + 4, 0) + r for r in group)
        out += body if nobdw else struct.pack(">HH", len(body) + 4, 0) + body
    return out


def v2_records(records):
    return b"".join(struct.pack(">H", len(r)) + r for r in records)


def mfv_records(records):
    header = bytearray(128)
    header[0], header[1] = 0x30, 126
    out = bytes(header)
    for r in records:
        rec = struct.pack(">H", len(r) | 0x4000) + r
        out += rec + b"\0" * ((4 - len(rec) % 4) % 4)
    return out


# ---- reader: format, LRECL, BLKSIZE, flags, read size, tabs, fill, delimiter, area, 3 positions,
# script (fuzz/reader_target.h)
def reader(fmt, lrecl, blksize, flags=0, read_size=0, tabs=0, fill=b" ", delim=b"\0\0\0\0",
           area=0, positions=(0, 5, 40), script=0xFFFF):
    head = bytes([fmt]) + struct.pack("<HH", lrecl, blksize) + bytes([flags, read_size, tabs])
    head += fill + delim + struct.pack("<H", area)
    head += b"".join(struct.pack("<H", p + 20) for p in positions) + struct.pack("<H", script)
    assert len(head) == 23
    return head


def reader_seeds():
    text = scenario("run_files_text_formats/in.txt")
    tabs = scenario("run_files_work_area/tabs.txt")
    main = scenario("run_files_work_area/main.txt")
    fixed = scenario("run_files_fixed_records/fixed.dat")[:400]
    recs = lines() + [b"a longer record of forty bytes or so....", b"x"]
    seeds = {
        "f_fixed": reader(0, 10, 0) + fixed,
        "fb_fixed_short_reads": reader(1, 16, 64, flags=0x80, read_size=6) + fixed,
        "f_last_piece_short": reader(0, 7, 0, area=20, flags=0x08) + b"abcdefghijklmnopq",
        "u_default": reader(2, 80, 0) + text,
        "u_main": reader(2, 40, 128, area=200) + main,
        "u_tabs": reader(2, 60, 0, tabs=4, area=300) + tabs,
        "u_tabs_in_place": reader(2, 60, 0, tabs=8) + tabs,
        "u_eol_no": reader(2, 6, 0, flags=0x02) + text,
        "u_lf": reader(2, 20, 0, flags=0x04, read_size=1) + text,
        "u_typed": reader(2, 20, 0, flags=0x06, read_size=1, delim=b"||\0\0") + b"one||two||||three",
        "u_ctlz": reader(2, 20, 0) + b"line one\nline two\n\x1a",
        "u_ctlz_kept": reader(2, 20, 0, flags=0x20) + b"line one\nline two\n\x1a",
        "u_long_lines": reader(2, 5, 16, flags=0x80, read_size=3) + text,
        "u_fill": reader(2, 30, 0, flags=0x08, area=30, fill=b"*") + text,
        "v": reader(3, 64, 200) + v_records(recs, False),
        "v_rdw": reader(3, 64, 200, flags=0x01) + v_records(recs, False),
        "vb": reader(4, 64, 300, flags=0x80, read_size=5) + v_records(recs, True),
        "vb_at": reader(4, 64, 300, positions=(13, 60, 2)) + v_records(recs, True),
        "v_nobdw": reader(5, 64, 200, positions=(7, 30, 100)) + v_records(recs, True, nobdw=True),
        "v_bad_rdw": reader(3, 64, 200) + v_records(recs[:2], False) + b"\x00\x02\x00\x00zz",
        "v_cut": reader(4, 64, 300) + v_records(recs, True)[:-3],
        "v2": reader(6, 64, 200, positions=(9, 30, 70)) + v2_records(recs),
        "v2_rdw_short": reader(6, 64, 200, flags=0x81, read_size=2) + v2_records(recs),
        "mfv": reader(7, 64, 256, positions=(130, 150, 0)) + mfv_records(recs),
        "mfv_no_header": reader(7, 64, 256) + mfv_records(recs)[128:],
        "v_default_sizes": reader(3, 0, 0) + v_records(recs, False),
        "empty": reader(2, 80, 0),
    }
    return seeds


# ---- keyed: format, LRECL, BLKSIZE, KEYPOS, KEYLEN, flags, read size, then the script length and
# the script (pairs of bytes), then the content (fuzz/keyed_target.h)
def keyed(fmt, lrecl, blksize, keypos, keylen, flags, script, read_size=0):
    head = bytes([fmt]) + struct.pack("<HH", lrecl, blksize)
    head += bytes([keypos, keylen, flags, read_size, len(script) // 2]) + script
    return head


def keyed_seeds():
    fixed = b"".join(b"%08d record %06d" % (3 * i, i) for i in range(1, 30))
    text = b"".join(b"key%04d text of line %d\n" % (5 * i, i) for i in range(1, 40))
    recs = [b"%06d-%s" % (7 * i, b"v" * (i % 9)) for i in range(1, 40)]
    script = bytes([0, 3, 1, 10, 2, 0, 0, 200, 1, 0, 4, 17, 3, 2, 2, 0, 0, 9, 1, 255])
    sorted_script = bytes([0, 3, 1, 10, 2, 0, 0, 200, 5, 7, 6, 1, 4, 17, 3, 2, 2, 0, 0, 9])
    seeds = {
        "f_keys": keyed(0, 23, 64, 0, 8, 0, script) + fixed,
        "u_keys": keyed(1, 40, 128, 0, 7, 0, script) + text,
        "v_keys": keyed(2, 40, 128, 0, 6, 0, script) + v_records(recs, False),
        "vb_keys": keyed(3, 40, 200, 0, 6, 0, script) + v_records(recs, True),
        "v2_keys": keyed(4, 40, 128, 0, 6, 0, script) + v2_records(recs),
        "mfv_keys": keyed(5, 40, 256, 0, 6, 0, script) + mfv_records(recs),
        "f_unsorted": keyed(0, 10, 0, 2, 3, 0x80, script, 3) + bytes(range(200, 0, -1)),
        "u_mid_key": keyed(1, 40, 64, 3, 4, 0, script) + text,
        "v_rdw": keyed(2, 40, 128, 0, 6, 0x01, script) + v_records(recs, False),
    }
    for fmt in range(6):
        seeds["sorted_%d" % fmt] = keyed(fmt, 30, 120, 1, 4, 0x02, sorted_script) + bytes(
            (i * 37 + 11) % 256 for i in range(300))
    return seeds


# ---- run: 2 bytes the control file's length, the control file, 1 byte the data file's name
# length, the name, the data (fuzz/run_target.h)
def run_seeds(limit=2048):
    seeds = {}
    for folder in sorted(os.listdir(SCEN)):
        path = os.path.join(SCEN, folder)
        if not os.path.isdir(path):
            continue
        names = sorted(n for n in os.listdir(path)
                       if os.path.isfile(os.path.join(path, n)) and n != "cmd"
                       and not n.startswith("expect"))
        for ctl in (n for n in names if n.endswith(".ctl")):
            control = scenario(os.path.join(folder, ctl))[:limit]
            if b"/" in control or b"\\" in control or b"REPLY" in control.upper():
                continue  # the target skips what could reach outside its folder
            data_name, data = b"", b""
            for n in names:
                if not n.endswith(".ctl") and n.encode() in control:
                    data_name, data = n.encode(), scenario(os.path.join(folder, n))[:limit]
                    break
            seed = struct.pack(">H", len(control)) + control + bytes([len(data_name)]) + data_name
            seeds["%s-%s" % (folder, ctl[:-4])] = seed + data
    return seeds


for name, seeds in (("corpus_reader", reader_seeds()), ("corpus_keyed", keyed_seeds()),
                    ("corpus_run", run_seeds())):
    folder = os.path.join(ROOT, "fuzz", name)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        os.remove(os.path.join(folder, old))
    for seed, data in seeds.items():
        with open(os.path.join(folder, seed), "wb") as f:
            f.write(data)
