#!/bin/sh
# Makes the certificates of one test run in DIR:
#   ca.crt ca.der ca.key        the run's own certificate authority
#   server.crt server.key       localhost, signed by that CA (subjectAltName
#                               DNS:localhost: Wine refuses IP address names)
#   server.sha1                 SHA-1 thumbprint of server.crt, 40 lower-case hex digits
#   wrongname.crt wrongname.key signed by the CA, but for "wrong.invalid"
#   rogue.crt rogue.key         localhost, signed by another CA nobody trusts
#   rogue.sha1                  its thumbprint
#   expired.crt expired.key     localhost, signed by the CA, valid only in January 2025
#   wrongname.sha1 expired.sha1 their thumbprints
#   client-ca.crt client-ca.key the authority of the users' client certificates
#   client.crt client.key       a user's client certificate ("Corvisk Test User"),
#                               signed by client-ca
#   client.pfx                  the same with its key and chain, password "corvisk"
#   client.sha1                 its thumbprint
#   stranger.crt stranger.key   a client certificate from the rogue CA, which
#   stranger.pfx stranger.sha1  the appliance's --client-ca does not name
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

# A new key and a certificate for it signed by the CA, with the extensions
# in NAME.ext (removed afterwards).
sign() { # name ca common-name
    quiet openssl req -new -newkey rsa:2048 -nodes -sha256 \
        -keyout "$1.key" -out "$1.csr" -subj "/O=Corvisk tests/CN=$3"
    quiet openssl x509 -req -sha256 -days "$days" -in "$1.csr" \
        -CA "$2.crt" -CAkey "$2.key" -set_serial "0x$(openssl rand -hex 8)" \
        -extfile "$1.ext" -out "$1.crt"
    rm -f "$1.csr" "$1.ext"
}

make_leaf() { # name ca dns
    cat > "$1.ext" <<EOF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:$3
EOF
    sign "$1" "$2" "$3"
}

# A leaf whose validity lies in the past: only "openssl ca" sets both dates.
make_expired() { # name ca dns
    cat > "$1.ext" <<EOF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:$3
EOF
    mkdir -p "$1.db"
    : > "$1.db/index.txt"
    openssl rand -hex 8 > "$1.db/serial"
    cat > "$1.db/ca.cnf" <<EOF
[ca]
default_ca = run
[run]
database = $1.db/index.txt
serial = $1.db/serial
new_certs_dir = $1.db
default_md = sha256
policy = any
[any]
organizationName = optional
commonName = supplied
EOF
    quiet openssl req -new -newkey rsa:2048 -nodes -sha256 \
        -keyout "$1.key" -out "$1.csr" -subj "/O=Corvisk tests/CN=$3"
    quiet openssl ca -batch -notext -config "$1.db/ca.cnf" -cert "$2.crt" -keyfile "$2.key" \
        -startdate 20250101000000Z -enddate 20250201000000Z -extfile "$1.ext" \
        -in "$1.csr" -out "$1.crt"
    rm -rf "$1.csr" "$1.ext" "$1.db"
}

make_client() { # name ca common-name
    cat > "$1.ext" <<EOF
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=clientAuth
EOF
    sign "$1" "$2" "$3"
}

thumbprint() { # name
    openssl x509 -in "$1.crt" -noout -fingerprint -sha1 |
        sed 's/.*=//; s/://g' | tr 'A-F' 'a-f' > "$1.sha1"
}

make_ca ca "Corvisk Test CA"
openssl x509 -in ca.crt -outform DER -out ca.der
make_leaf server ca localhost
make_leaf wrongname ca wrong.invalid
make_expired expired ca localhost
make_ca rogue-ca "Corvisk Rogue CA"
make_leaf rogue rogue-ca localhost
make_client stranger rogue-ca "Corvisk Stranger"
rm -f rogue-ca.key
make_ca client-ca "Corvisk Client CA"
make_client client client-ca "Corvisk Test User"
# OpenSSL 3's default (AES-256, PBKDF2, SHA-256 MAC) imports under Windows 10
# and Wine alike.
quiet openssl pkcs12 -export -in client.crt -inkey client.key -certfile client-ca.crt \
    -name "Corvisk Test User" -passout pass:corvisk -out client.pfx
quiet openssl pkcs12 -export -in stranger.crt -inkey stranger.key \
    -name "Corvisk Stranger" -passout pass:corvisk -out stranger.pfx
thumbprint server
thumbprint rogue
thumbprint wrongname
thumbprint expired
thumbprint client
thumbprint stranger
