#!/usr/bin/env python3
"""Opens a message sealed by the station's code (seal_once) with an HPKE
recipient composed here from python3-cryptography's primitives: P-256 ECDH,
HMAC-SHA256 for LabeledExtract, HKDF-Expand for LabeledExpand, AES-128-GCM;
and the recipient's label code from hashlib and base64.
Usage: cross_check.py SEAL_ONCE"""
import base64
import hashlib
import os
import subprocess
import sys

from cryptography.hazmat.primitives import hashes, hmac, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
from cryptography.hazmat.primitives.kdf.hkdf import HKDFExpand

KEM = b"KEM\x00\x10"
HPKE = b"HPKE\x00\x10\x00\x01\x00\x01"


def extract(suite, salt, label, ikm):
    h = hmac.HMAC(salt or bytes(32), hashes.SHA256())
    h.update(b"HPKE-v1" + suite + label + ikm)
    return h.finalize()


def expand(suite, prk, label, info, length):
    labeled = length.to_bytes(2, "big") + b"HPKE-v1" + suite + label + info
    return HKDFExpand(hashes.SHA256(), length, labeled).derive(prk)


def main():
    key = ec.generate_private_key(ec.SECP256R1())
    pk = key.public_key().public_bytes(serialization.Encoding.X962,
                                       serialization.PublicFormat.UncompressedPoint)
    info, aad = b"unit nonce" + os.urandom(16), bytes([0xFF, 0x00, 0x80, 0x03])
    pt = b"\x07network\x0a" + os.urandom(63)
    out = subprocess.run([sys.argv[1], pk.hex(), info.hex(), aad.hex(), pt.hex()],
                         check=True, capture_output=True, text=True).stdout.split()
    enc, ct, exported = (bytes.fromhex(x) for x in out[:3])
    code = base64.b32encode(hashlib.sha256(pk).digest()[:16]).decode().rstrip("=")

    peer = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), enc)
    dh = key.exchange(ec.ECDH(), peer)
    shared = expand(KEM, extract(KEM, b"", b"eae_prk", dh), b"shared_secret", enc + pk, 32)
    context = (b"\x00" + extract(HPKE, b"", b"psk_id_hash", b"")
               + extract(HPKE, b"", b"info_hash", info))
    secret = extract(HPKE, shared, b"secret", b"")
    aead_key = expand(HPKE, secret, b"key", context, 16)
    nonce = expand(HPKE, secret, b"base_nonce", context, 12)
    exporter = expand(HPKE, secret, b"exp", context, 32)

    opened = AESGCM(aead_key).decrypt(nonce, ct, aad)  # raises on a bad tag
    failures = []
    if opened != pt:
        failures.append("plaintext differs")
    if expand(HPKE, exporter, b"sec", b"cross-check", 32) != exported:
        failures.append("exported secret differs")
    if out[3] != "-".join(code[i:i + 4] for i in range(0, len(code), 4)):
        failures.append("label code differs: " + out[3])
    if len(enc) != 65 or len(ct) != len(pt) + 16:
        failures.append("sizes differ")
    for f in failures:
        print("cross_check:", f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
