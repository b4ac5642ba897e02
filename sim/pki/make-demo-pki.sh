#!/usr/bin/env bash
# DEMO MATERIAL ONLY. Makes the throw-away PKI of the platform simulator: a CA and a server
# certificate for 127.0.0.1 and localhost (serverAuth), valid for 20 years. The private keys are
# public in this repository: never trust this CA outside the demo and the tests.
set -euo pipefail
cd "$(dirname "$0")"
days=7300
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
    -subj "/O=Korvane Demo/CN=Korvane Demo Platform CA (DEMO ONLY)" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout demo-ca.key -out demo-ca.pem
openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=Korvane Demo/CN=127.0.0.1" \
    -keyout demo-server.key -out demo-server.csr
cat > demo-server.ext <<'EXT'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=IP:127.0.0.1,DNS:localhost
EXT
openssl x509 -req -in demo-server.csr -CA demo-ca.pem -CAkey demo-ca.key -CAcreateserial \
    -days "$days" -sha256 -extfile demo-server.ext -out demo-server.pem
rm -f demo-server.csr demo-server.ext demo-ca.srl
echo "demo PKI written to $(pwd)"
