#!/bin/sh
# Makes the certificates of one test run in DIR:
#   ca.crt ca.der ca.key        the run's own certificate authority
#   server.crt server.key       localhost, signed by that CA (subjectAltName
#                               DNS:localhost: Wine refuses IP address names)
#   server.sha1                 SHA-1 thumbprint of server.crt, 40 lower-case hex digits
#   wrongname.crt wrongname.key signed by the CA, but for "wrong.invalid"
#   rogue.crt rogue.key         localhost, signed by another CA nobody trusts
#   rogue.sha1                  its thumbprint
# Usage: make_certs.sh DIR
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
dir=$1
mkdir -p "$dir"
cd "$dir"

days=30
quiet() { "$@" >/dev/null 2>&1 || { "$@"; exit 1; }; }

make_ca() { # name subject
    quiet openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
        -keyout "$1.key" -out "$1.crt" -subj "/O=Corvisk tests/CN=$2" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign"
}

make_leaf() { # name ca dns
    cat > "$1.ext" <<EOF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:$3
EOF
    quiet openssl req -new -newkey rsa:2048 -nodes -sha256 \
        -keyout "$1.key" -out "$1.csr" -subj "/O=Corvisk tests/CN=$3"
    quiet openssl x509 -req -sha256 -days "$days" -in "$1.csr" \
        -CA "$2.crt" -CAkey "$2.key" -set_serial "0x$(openssl rand -hex 8)" \
        -extfile "$1.ext" -out "$1.crt"
    rm -f "$1.csr" "$1.ext"
}

thumbprint() { # name
    openssl x509 -in "$1.crt" -noout -fingerprint -sha1 |
        sed 's/.*=//; s/://g' | tr 'A-F' 'a-f' > "$1.sha1"
}

make_ca ca "Corvisk Test CA"
openssl x509 -in ca.crt -outform DER -out ca.der
make_leaf server ca localhost
make_leaf wrongname ca wrong.invalid
make_ca rogue-ca "Corvisk Rogue CA"
make_leaf rogue rogue-ca localhost
rm -f rogue-ca.key
thumbprint server
thumbprint rogue
