#!/usr/bin/env bash
# Writes the test-only certificates of tests/server (not for any real server): a CA, a server
# certificate it signed for 127.0.0.1 / localhost, and a self-signed certificate no client trusts.
# Valid for 100 years; run again to replace them.
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
rm -f server.csr server.ext ca.srl ca.key
