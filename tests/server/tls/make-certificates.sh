#!/usr/bin/env bash
# Writes the test-only certificates of tests/server (not for any real server): a CA, a server
# certificate it signed for 127.0.0.1 / localhost, and a self-signed certificate no client trusts.
# Valid for 100 years; run again to replace them. Also an expired self-signed one (2020 to 2021)
# the server must refuse to start with.
set -euo pipefail
cd "$(dirname "$0")"
days=36500
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days $days \
  -subj "/O=Servicos Transportados (teste)/CN=CA de teste" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr \
  -subj "/O=Servicos Transportados (teste)/CN=localhost" 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days $days \
  -extfile server.ext 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout untrusted.key -out untrusted.pem -days $days \
  -subj "/O=Desconhecida/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
work=$(mktemp -d)
mkdir "$work/new" && touch "$work/index.txt" && echo 01 > "$work/serial"
printf '[ca]\ndefault_ca = t\n[t]\ndatabase = %s/index.txt\nnew_certs_dir = %s/new\nserial = %s/serial\ndefault_md = sha256\npolicy = p\ncopy_extensions = copy\n[p]\ncommonName = supplied\n' \
  "$work" "$work" "$work" > "$work/ca.cnf"
openssl req -new -newkey rsa:2048 -nodes -keyout expired.key -out "$work/expired.csr" \
  -subj "/O=Servicos Transportados (teste)/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
openssl ca -batch -config "$work/ca.cnf" -selfsign -keyfile expired.key -in "$work/expired.csr" -out expired.pem \
  -startdate 20200101000000Z -enddate 20210101000000Z -notext 2>/dev/null
rm -rf "$work" server.csr server.ext ca.srl ca.key
