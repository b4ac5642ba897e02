#!/usr/bin/env bash
# DEMO MATERIAL ONLY. Makes the throw-away PKI of the demo's far end (the OpenVPN server that
# scripts/demo runs in a private network namespace): a CA and a server certificate with
# extendedKeyUsage serverAuth (the client's profile says "remote-cert-tls server"), valid for
# 20 years. The private keys are public in this repository: never trust this CA outside the demo.
set -euo pipefail
cd "$(dirname "$0")"
days=7300
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -sha256)
openssl req -x509 "${ec[@]}" -days "$days" \
    -subj "/O=Korvane Demo/CN=Korvane Demo Tunnel CA (DEMO ONLY)" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout demo-vpn-ca.key -out demo-vpn-ca.pem
openssl req "${ec[@]}" -subj "/O=Korvane Demo/CN=korvane-demo-far-end" \
    -keyout demo-vpn-server.key -out demo-vpn-server.csr
cat > demo-vpn-server.ext <<'EXT'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
EXT
openssl x509 -req -in demo-vpn-server.csr -CA demo-vpn-ca.pem -CAkey demo-vpn-ca.key -CAcreateserial \
    -days "$days" -sha256 -extfile demo-vpn-server.ext -out demo-vpn-server.pem
rm -f demo-vpn-server.csr demo-vpn-server.ext demo-vpn-ca.srl
echo "demo tunnel PKI written to $(pwd)"
