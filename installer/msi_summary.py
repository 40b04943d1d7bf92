#!/usr/bin/env python3
"""The parts of an MSI that wixl makes different on every run, made fixed.

wixl writes the time of the build into the package's summary (created, last
saved) and a random package code, and ignores the Package element's Id. An
MSI is a compound file; those values sit at fixed places in its summary
stream, and each is rewritten in place with one of the same length, so the
file's structure is left as wixl wrote it:

  msi_summary.py product-code UPGRADE-CODE VERSION
      prints the product code of that version: the same version always gets
      the same one, so Windows treats a rebuild as the same product
  msi_summary.py fix MSI EPOCH
      sets both dates to EPOCH (seconds since 1970, UTC) and the package code
      to one derived from the whole package's bytes (with the code itself
      blanked), so the same content gives the same code and any other
      content another one
"""
import hashlib
import struct
import sys
import uuid

FREE_SECTOR = 0xFFFFFFFF
END_OF_CHAIN = 0xFFFFFFFE
SUMMARY_NAME = "\x05SummaryInformation"
PID_REVNUMBER = 9      # the package code, a "{GUID}" string
PID_CREATE_DTM = 12
PID_LASTSAVE_DTM = 13
VT_LPSTR = 30
VT_FILETIME = 64
FILETIME_EPOCH_OFFSET = 11644473600  # seconds from 1601 to 1970
# Any fixed namespace: the codes only have to be stable, never guessed.
NAMESPACE = uuid.UUID("5d1e3c1a-1f0b-4a53-9b8e-0c1e9d2f6a47")


class CompoundFile:
    def __init__(self, data: bytearray):
        self.data = data
        if data[:8] != bytes.fromhex("d0cf11e0a1b11ae1"):
            raise ValueError("not a compound file")
        self.sector_size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_size = 1 << struct.unpack_from("<H", data, 0x20)[0]
        fat_count, first_dir = struct.unpack_from("<II", data, 0x2C)
        self.mini_cutoff, first_minifat, _minifat_count, first_difat, _ = struct.unpack_from("<IIIII", data, 0x38)
        fat_sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s != FREE_SECTOR]
        difat = first_difat
        per_sector = self.sector_size // 4
        while difat not in (END_OF_CHAIN, FREE_SECTOR) and len(fat_sectors) < fat_count:
            entries = struct.unpack_from("<%dI" % per_sector, data, self.offset(difat))
            fat_sectors += [s for s in entries[:-1] if s != FREE_SECTOR]
            difat = entries[-1]
        self.fat = []
        for s in fat_sectors[:fat_count]:
            self.fat += struct.unpack_from("<%dI" % per_sector, data, self.offset(s))
        self.minifat = []
        for s in self.chain(first_minifat):
            self.minifat += struct.unpack_from("<%dI" % per_sector, data, self.offset(s))
        self.entries = []
        for s in self.chain(first_dir):
            for i in range(self.sector_size // 128):
                self.entries.append(self.offset(s) + i * 128)
        root = self.entries[0]
        self.mini_stream = self.chain(struct.unpack_from("<I", data, root + 0x74)[0])

    def offset(self, sector):
        return (sector + 1) * self.sector_size

    def chain(self, first, table=None):
        table = self.fat if table is None else table
        sectors = []
        while first not in (END_OF_CHAIN, FREE_SECTOR):
            if len(sectors) > len(table):
                raise ValueError("a sector chain loops")
            sectors.append(first)
            first = table[first]
        return sectors

    def stream_offsets(self, name):
        """The file offset of every byte of the stream NAME, in order."""
        for entry in self.entries:
            length = struct.unpack_from("<H", self.data, entry + 0x40)[0]
            if length < 2 or self.data[entry + 0x42] != 2:  # a stream
                continue
            if self.data[entry:entry + length - 2].decode("utf-16-le") != name:
                continue
            start, size = struct.unpack_from("<IQ", self.data, entry + 0x74)
            offsets = []
            if size < self.mini_cutoff:
                for m in self.chain(start, self.minifat):
                    base = m * self.mini_size
                    sector = self.mini_stream[base // self.sector_size]
                    first = self.offset(sector) + base % self.sector_size
                    offsets += range(first, first + self.mini_size)
            else:
                for s in self.chain(start):
                    offsets += range(self.offset(s), self.offset(s) + self.sector_size)
            return offsets[:size]
        raise ValueError("no stream %r" % name)


def summary_values(cf):
    """{property id: (type, file offsets of its value)} of the summary."""
    where = cf.stream_offsets(SUMMARY_NAME)
    stream = bytes(cf.data[o] for o in where)
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    values = {}
    for i in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        at += section
        kind = struct.unpack_from("<I", stream, at)[0]
        if kind == VT_FILETIME:
            values[pid] = (kind, where[at + 4:at + 12])
        elif kind == VT_LPSTR:
            size = struct.unpack_from("<I", stream, at + 4)[0]
            values[pid] = (kind, where[at + 8:at + 8 + size])
    return values


def put(data, offsets, value: bytes):
    if len(value) != len(offsets):
        raise ValueError("a value of another length")
    for o, b in zip(offsets, value):
        data[o] = b


def fix(path, epoch):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    values = summary_values(CompoundFile(data))
    filetime = struct.pack("<Q", (epoch + FILETIME_EPOCH_OFFSET) * 10**7)
    for pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
        if values.get(pid, (None,))[0] != VT_FILETIME:
            raise ValueError("the summary has no date %d" % pid)
        put(data, values[pid][1], filetime)
    kind, where = values.get(PID_REVNUMBER, (None, []))
    if kind != VT_LPSTR or len(where) != 39:  # "{GUID}" and its terminating NUL
        raise ValueError("the summary has no package code")
    put(data, where, b"{%s}\0" % (b"0" * 36))
    code = uuid.uuid5(NAMESPACE, hashlib.sha256(data).hexdigest())
    put(data, where, b"{%s}\0" % str(code).upper().encode())
    with open(path, "wb") as f:
        f.write(data)
    print("{%s}" % str(code).upper())


def main(argv):
    if len(argv) == 3 and argv[0] == "product-code":
        print("%s" % str(uuid.uuid5(uuid.UUID(argv[1].strip("{}")), "QLXDrive " + argv[2])).upper())
    elif len(argv) == 3 and argv[0] == "fix":
        fix(argv[1], int(argv[2]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
