#!/usr/bin/env bash
# Runs one Windows test program under Wine beside its peers: the local
# appliance (three times: the run's certificate, one from a CA nobody trusts
# and an expired one from the run's CA),
# two tinyproxy instances (open, and with Basic authentication "proxyuser" /
# "proxypass") and a PAC file served by python3 -m http.server. The test gets
# a private copy of the Wine prefix, because it installs the run's CA and
# writes proxy settings. The peers' addresses go to the test in the file named
# by CORVISK_PEERS.
# Usage: with_peers.sh SOURCE_DIR TEST.exe [gtest arguments...]
set -u
src=$1; shift
exe=$1; shift
. "$src/scripts/lib/env.sh"

run=$(mktemp -d "${TMPDIR:-/tmp}/corvisk-peers.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  [ -d "$run/prefix" ] && WINEPREFIX=$run/prefix wineserver -k >/dev/null 2>&1
  rm -rf "$run"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'; }

wait_for() { # file
  for _ in $(seq 1 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "peer did not become ready: $1" >&2; return 1
}

wait_port() { # port
  for _ in $(seq 1 100); do
    python3 -c "import socket,sys;socket.create_connection(('127.0.0.1',$1),0.2)" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2; return 1
}

appl=$src/tests/appliance
sh "$appl/make_certs.sh" "$run/certs" || exit 1

python3 "$appl/appliance.py" --cert-dir "$run/certs" --port 0 --log "$run/requests.jsonl" \
  --ready-file "$run/ready" --control-port 0 >"$run/appliance.out" 2>&1 &
pids+=($!)
python3 "$appl/appliance.py" --cert "$run/certs/rogue.crt" --key "$run/certs/rogue.key" --port 0 \
  --log "$run/rogue.jsonl" --ready-file "$run/rogue.ready" >"$run/rogue.out" 2>&1 &
pids+=($!)
python3 "$appl/appliance.py" --cert "$run/certs/expired.crt" --key "$run/certs/expired.key" --port 0 \
  --log "$run/expired.jsonl" --ready-file "$run/expired.ready" >"$run/expired.out" 2>&1 &
pids+=($!)
wait_for "$run/ready" && wait_for "$run/rogue.ready" && wait_for "$run/expired.ready" || exit 1
. "$run/ready"
appliance_port=$port
control=$control_port
rogue_port=$(sed -n 's/^port=//p' "$run/rogue.ready")
expired_port=$(sed -n 's/^port=//p' "$run/expired.ready")

proxy_conf() { # name port [auth]
  cat > "$run/$1.conf" <<CONF
Port $2
Listen 127.0.0.1
Timeout 60
LogFile "$run/$1.log"
LogLevel Connect
MaxClients 20
Allow 127.0.0.1
ConnectPort $appliance_port
ConnectPort $rogue_port
DisableViaHeader Yes
CONF
  [ -n "${3:-}" ] && echo "BasicAuth $3" >> "$run/$1.conf"
  : > "$run/$1.log"
}
proxy_port=$(free_port)
auth_port=$(free_port)
proxy_conf proxy "$proxy_port"
proxy_conf authproxy "$auth_port" "proxyuser proxypass"
tinyproxy -d -c "$run/proxy.conf" >/dev/null 2>&1 &
pids+=($!)
tinyproxy -d -c "$run/authproxy.conf" >/dev/null 2>&1 &
pids+=($!)

mkdir -p "$run/www"
cat > "$run/www/proxy.pac" <<PAC
function FindProxyForURL(url, host) {
  if (shExpMatch(host, "localhost")) return "PROXY 127.0.0.1:$proxy_port";
  return "DIRECT";
}
PAC
pac_port=$(free_port)
python3 -m http.server "$pac_port" --bind 127.0.0.1 --directory "$run/www" >/dev/null 2>&1 &
pids+=($!)
wait_port "$proxy_port" && wait_port "$auth_port" && wait_port "$pac_port" || exit 1

win() { printf 'Z:%s' "$(echo "$1" | tr / '\\')"; }
{
  echo "appliance_port=$appliance_port"
  echo "control_port=$control"
  echo "rogue_port=$rogue_port"
  echo "server_sha1=$(cat "$run/certs/server.sha1")"
  echo "rogue_sha1=$(cat "$run/certs/rogue.sha1")"
  echo "expired_port=$expired_port"
  echo "expired_sha1=$(cat "$run/certs/expired.sha1")"
  echo "ca_der=$(win "$run/certs/ca.der")"
  echo "request_log=$(win "$run/requests.jsonl")"
  echo "rogue_log=$(win "$run/rogue.jsonl")"
  echo "proxy_port=$proxy_port"
  echo "proxy_log=$(win "$run/proxy.log")"
  echo "auth_proxy_port=$auth_port"
  echo "auth_proxy_log=$(win "$run/authproxy.log")"
  echo "pac_url=http://127.0.0.1:$pac_port/proxy.pac"
  echo "missing_pac_url=http://127.0.0.1:$pac_port/missing.pac"
  echo "work_dir=$(win "$run")"
} > "$run/peers.txt"
export CORVISK_PEERS
CORVISK_PEERS=$(win "$run/peers.txt")

cp -a "${WINEPREFIX:-$CORVISK_CACHE/wineprefix-dev}" "$run/prefix" || exit 1
export WINEPREFIX=$run/prefix
corvisk_wine_env
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null
# Three processes: before the run's CA is trusted, the installation of the
# CA, and everything else (the chain engine reads the roots once a process).
status=0
wine "$exe" --gtest_filter='UntrustedCertificate.*' "$@" || status=1
wine "$exe" --gtest_filter='InstallTestCa.*' "$@" || status=1
wine "$exe" --gtest_filter='-UntrustedCertificate.*:InstallTestCa.*' "$@" || status=1
exit $status
