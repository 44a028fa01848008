#!/usr/bin/env python3
"""Certificates for the local HTTPS test server: a test CA and the server's certificate for
"localhost", plus the failing kinds: one from another CA, one for another name, an expired one."""
import datetime
import ipaddress
import sys
from pathlib import Path

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def name(cn):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def make_ca(cn):
    key = ec.generate_private_key(ec.SECP256R1())
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name(cn)).issuer_name(name(cn))
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False),
                           critical=True)
            .sign(key, hashes.SHA256()))
    return key, cert


def make_leaf(ca_key, ca_cert, dns, ip=None, expired=False):
    key = ec.generate_private_key(ec.SECP256R1())
    now = datetime.datetime.now(datetime.timezone.utc)
    if expired:
        start, end = now - datetime.timedelta(days=60), now - datetime.timedelta(days=30)
    else:
        start, end = now - datetime.timedelta(days=1), now + datetime.timedelta(days=30)
    sans = [x509.DNSName(dns)]
    if ip:
        sans.append(x509.IPAddress(ipaddress.ip_address(ip)))
    cert = (x509.CertificateBuilder().subject_name(name(dns)).issuer_name(ca_cert.subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(start).not_valid_after(end)
            .add_extension(x509.SubjectAlternativeName(sans), critical=False)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.ExtendedKeyUsage([x509.oid.ExtendedKeyUsageOID.SERVER_AUTH]),
                           critical=False)
            .sign(ca_key, hashes.SHA256()))
    return key, cert


def write(folder, stem, key, cert):
    (folder / f"{stem}.pem").write_bytes(cert.public_bytes(serialization.Encoding.PEM))
    if key is not None:
        (folder / f"{stem}.key").write_bytes(key.private_bytes(
            serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
            serialization.NoEncryption()))


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    ca_key, ca = make_ca("Tarvikdorn Test CA")
    other_key, other = make_ca("Some Other CA")
    write(folder, "ca", None, ca)
    (folder / "ca.der").write_bytes(ca.public_bytes(serialization.Encoding.DER))
    write(folder, "good", *make_leaf(ca_key, ca, "localhost"))
    write(folder, "untrusted", *make_leaf(other_key, other, "localhost"))
    write(folder, "wrongname", *make_leaf(ca_key, ca, "other.example"))
    write(folder, "expired", *make_leaf(ca_key, ca, "localhost", expired=True))


if __name__ == "__main__":
    main()
