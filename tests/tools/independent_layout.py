#!/usr/bin/python3
"""Stored values against an independent Blowfish (pycryptodome).

Values written by qlxctl must decode by the published layout alone, and
values built by that layout (as another installation would have stored
them) must read back through qlxctl. Usage: independent_layout.py QLXCTL
"""
import base64
import random
import subprocess
import sys

from Cryptodome.Cipher import Blowfish

KEY = "K7Rp4mzq".encode("utf-16-le")
BF = Blowfish.new(KEY, Blowfish.MODE_ECB)
E, D = BF.encrypt, BF.decrypt


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def cfb8(iv, data, decrypt):
    reg, out = bytearray(iv), bytearray()
    for c in data:
        p = c ^ E(bytes(reg))[0]
        out.append(p)
        reg = reg[1:] + bytes([c if decrypt else p])
    return bytes(out)


def encrypt(iv, pt):
    n = len(pt)
    if n == 0:
        return b""
    if n < 8:
        return iv + cfb8(iv, pt, False)
    m, r = divmod(n, 8)
    out, prev = b"", iv
    whole = m if r == 0 else m - 1
    for i in range(whole):
        prev = E(xor(pt[8 * i:8 * i + 8], prev))
        out += prev
    if r:
        # Both the last full block and the stolen one chain to C(m-1).
        x = E(xor(pt[8 * (m - 1):8 * m], prev))
        y = E(xor(pt[8 * m:] + x[r:], prev))
        out += y + x[:r]
    return iv + out


def decrypt(ct):
    if len(ct) <= 8:
        return b""
    iv, body = ct[:8], ct[8:]
    n = len(body)
    if n < 8:
        return cfb8(iv, body, True)
    m, r = divmod(n, 8)
    out, prev = b"", iv
    whole = m if r == 0 else m - 1
    for i in range(whole):
        c = body[8 * i:8 * i + 8]
        out += xor(D(c), prev)
        prev = c
    if r:
        y, xhead = body[8 * (m - 1):8 * m], body[8 * m:]
        t = xor(D(y), prev)
        out += xor(D(xhead + t[r:]), prev) + t[:r]
    return out


def store(text, iv):
    inner = base64.b64encode(encrypt(iv, text.encode("utf-8")))
    outer = base64.b64encode(inner).decode("ascii")
    # 76 characters a line, CR LF after every full line, the very last too.
    lines = [outer[i:i + 76] for i in range(0, len(outer), 76)]
    return "".join(line + "\r\n" if len(line) == 76 else line for line in lines)


def read(stored):
    inner = base64.b64decode(stored.replace("\r\n", ""))
    return decrypt(base64.b64decode(inner)).decode("utf-8")


def qlxctl(tool, command, data):
    done = subprocess.run([tool, command], input=data, capture_output=True)
    # A refusal (exit 1, the engine's message) counts as a wrong answer.
    return done.stdout if done.returncode == 0 else done.stderr + b" (refused)"


def main():
    tool = sys.argv[1]
    rng = random.Random(20261209)
    texts = ["", "S", "N", "Z:", "è", "utente.rossi", "pässwörd €", "𝄞 clef",
             "C:\\Program Files\\PELMORA\\QLXDrive.exe"]
    texts += ["".join(rng.choice("abcXYZ09 èé€") for _ in range(n)) for n in range(1, 200, 7)]
    failures = 0
    for t in texts:
        stored = qlxctl(tool, "protect", t.encode("utf-8")).decode("ascii")
        if read(stored) != t:
            print(f"FAIL protect: {t!r} -> {stored!r} does not decode independently")
            failures += 1
        theirs = store(t, rng.randbytes(8))
        if qlxctl(tool, "reveal", theirs.encode("ascii")).decode("utf-8") != t:
            print(f"FAIL reveal: independently stored {t!r} does not read back")
            failures += 1
    print(f"{len(texts) * 2 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
