"""Shows that a signed executable is its unsigned original plus a signature.

    compare-signed.py UNSIGNED SIGNED

Authenticode leaves out of its hash exactly three things, so signing may
change only those: the PE checksum field, the certificate table's entry
among the data directories, and the certificate table itself, appended at
the end of the file on an 8-byte boundary. Every other byte must be the
original's; the exit status is 1 if one is not.
"""

import struct
import sys

WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002


def fields(image):
    """File offsets of the checksum and of the certificate table's entry."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    return optional + 64, directories + 4 * 8


def main():
    with open(sys.argv[1], "rb") as unsigned_file:
        unsigned = unsigned_file.read()
    with open(sys.argv[2], "rb") as signed_file:
        signed = signed_file.read()
    failures = []
    checksum, entry = fields(unsigned)
    if fields(signed) != (checksum, entry):
        failures.append("the headers lie elsewhere in the signed file")

    if struct.unpack_from("<II", unsigned, entry) != (0, 0):
        failures.append("the unsigned file already holds a certificate table")
    table, size = struct.unpack_from("<II", signed, entry)
    if table != (len(unsigned) + 7) // 8 * 8 or table + size != len(signed):
        failures.append(f"the certificate table at {table}, {size} bytes, is "
                        f"not what follows the original's {len(unsigned)} "
                        f"bytes up to the end ({len(signed)})")
    elif signed[len(unsigned):table].strip(b"\0"):
        failures.append("the padding before the certificate table is not 0")
    else:
        length, revision, kind = struct.unpack_from("<IHH", signed, table)
        if (length + 7) // 8 * 8 != size or \
                (revision, kind) != (WIN_CERT_REVISION_2_0,
                                     WIN_CERT_TYPE_PKCS_SIGNED_DATA):
            failures.append(f"the certificate table holds no single PKCS#7 "
                            f"signature: length {length}, revision "
                            f"{revision:#06x}, type {kind:#06x}")

    allowed = set(range(checksum, checksum + 4)) | set(range(entry, entry + 8))
    changed = [at for at in range(min(len(unsigned), len(signed)))
               if unsigned[at] != signed[at] and at not in allowed]
    if changed:
        failures.append(f"{len(changed)} other bytes changed, the first at "
                        f"offset {changed[0]:#x}")

    for failure in failures:
        print("FAILED:", failure)
    if failures:
        return 1
    before, after = (struct.unpack_from("<I", image, checksum)[0]
                     for image in (unsigned, signed))
    print(f"only the checksum ({before:#010x} -> {after:#010x}), the "
          f"certificate table's entry (0, 0 -> {table}, {size}) and the "
          f"{len(signed) - len(unsigned)} bytes appended differ")
    return 0


if __name__ == "__main__":
    sys.exit(main())
