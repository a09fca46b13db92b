"""Looks at a Word document's protection without the program's own code.

usage: word_check.py FILE OPEN_PASSWORD MODIFY_PASSWORD
Prints one JSON object: whether the file is encrypted, whether it decrypts
with OPEN_PASSWORD and refuses a wrong one, and (for .docx) whether its
w:writeProtection matches MODIFY_PASSWORD ("none", "match", "mismatch"), and
(for Word 97-2003 files) the template and encryption flags of the file header,
and (for .docx) whether an editing restriction (w:documentProtection) is there.
"""
import base64
import hashlib
import io
import json
import re
import sys
import zipfile

import msoffcrypto
import olefile
import struct

path, password, modify = sys.argv[1], sys.argv[2], sys.argv[3]
result = {"encrypted": False, "decrypts": False, "rejectsWrong": False, "writeProtection": "none",
          "template": False, "encryptedFlag": False, "editingRestriction": False}

with open(path, "rb") as f:
    data = f.read()

try:
    office = msoffcrypto.OfficeFile(io.BytesIO(data))
    result["encrypted"] = bool(office.is_encrypted())
except Exception:
    office = None

plain = data
if result["encrypted"]:
    try:
        office.load_key(password=password)
        out = io.BytesIO()
        office.decrypt(out)
        plain = out.getvalue()
        result["decrypts"] = True
    except Exception:
        plain = None
    try:
        other = msoffcrypto.OfficeFile(io.BytesIO(data))
        other.load_key(password=password + "x")
        other.decrypt(io.BytesIO())
    except Exception:
        result["rejectsWrong"] = True

if plain is not None and plain[:2] == b"PK":
    settings = zipfile.ZipFile(io.BytesIO(plain)).read("word/settings.xml").decode("utf-8")
    result["editingRestriction"] = re.search(r"<w:documentProtection\b[^>]*w:enforcement=\"(1|true)\"", settings) is not None
    m = re.search(r"<w:writeProtection\b([^>]*)/?>", settings)
    if m:
        attrs = dict(re.findall(r'w:(\w+)="([^"]*)"', m.group(1)))
        salt = base64.b64decode(attrs.get("salt", ""))
        spin = int(attrs.get("cryptSpinCount", "0"))
        # ECMA-376 hashing: H(salt + password as UTF-16LE), then each round
        # hashes the previous value followed by the round number (4 bytes LE).
        h = hashlib.sha512(salt + modify.encode("utf-16-le")).digest()
        for i in range(spin):
            h = hashlib.sha512(h + i.to_bytes(4, "little")).digest()
        ok = attrs.get("cryptAlgorithmSid") == "14" and base64.b64encode(h).decode() == attrs.get("hash")
        result["writeProtection"] = "match" if ok else "mismatch"

if olefile.isOleFile(path):
    ole = olefile.OleFileIO(path)
    if ole.exists("WordDocument"):
        # The file header's flags word: bit 0 template, bit 8 encrypted.
        flags = struct.unpack("<H", ole.openstream("WordDocument").read(12)[10:12])[0]
        result["template"] = bool(flags & 0x0001)
        result["encryptedFlag"] = bool(flags & 0x0100)

print(json.dumps(result))
