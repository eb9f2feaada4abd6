# The local appliance (tests/appliance) that scripts/run starts beside
# Corvisk; sourced, never run. Needs env.sh.

# Prints the folder of scripts/run's certificates, made once in the cache
# folder and made anew when the server's expires within a day (they last 30
# days) or the set is incomplete.
corvisk_run_certs() {
  local dir="$CORVISK_CACHE/run-certs"
  if [ ! -f "$dir/ca.der" ] || [ ! -f "$dir/server.key" ] ||
     ! openssl x509 -checkend 86400 -noout -in "$dir/server.crt" >/dev/null 2>&1; then
    rm -rf "$dir.new"
    sh "$CORVISK_ROOT/tests/appliance/make_certs.sh" "$dir.new" >&2 || return 1
    rm -rf "$dir"
    mv "$dir.new" "$dir"
  fi
  echo "$dir"
}

# Starts the appliance with its default scenario in the background on
# 127.0.0.1:PORT (0: a free port), with the voice's DTLS service on UDP port
# 4433 when the native tree's relay is built and the port is free, its output
# in DIR/appliance.log and its request log in DIR/requests.jsonl; SCENARIO,
# when given, is a scenario file laid over the default one. Sets
# CORVISK_APPLIANCE_PID, CORVISK_APPLIANCE_PORT and CORVISK_APPLIANCE_DTLS
# (the DTLS port, or 0 without the service). Returns 1 when it did not come up (the reason is
# the last line of DIR/appliance.log).
# Usage: corvisk_start_appliance CERT_DIR PORT DIR [SCENARIO]
corvisk_start_appliance() {
  local certs=$1 port=$2 dir=$3 scenario=${4:-} i
  rm -f "$dir/ready"
  PYTHONDONTWRITEBYTECODE=1 python3 "$CORVISK_ROOT/tests/appliance/appliance.py" \
    --cert-dir "$certs" --port "$port" --ready-file "$dir/ready" --log "$dir/requests.jsonl" \
    --dtls-port 4433 ${scenario:+--scenario "$scenario"} \
    >"$dir/appliance.log" 2>&1 </dev/null &
  CORVISK_APPLIANCE_PID=$!
  for i in $(seq 1 100); do
    if [ -f "$dir/ready" ]; then
      CORVISK_APPLIANCE_PORT=$(sed -n 's/^port=//p' "$dir/ready")
      CORVISK_APPLIANCE_DTLS=$(sed -n 's/^dtls_port=//p' "$dir/ready")
      return 0
    fi
    kill -0 "$CORVISK_APPLIANCE_PID" 2>/dev/null || break
    sleep 0.1
  done
  kill "$CORVISK_APPLIANCE_PID" 2>/dev/null || true
  wait "$CORVISK_APPLIANCE_PID" 2>/dev/null || true
  CORVISK_APPLIANCE_PID=
  return 1
}

# Prints the id of the first started meeting of the appliance's default
# scenario (the one a guest can join at once).
corvisk_appliance_meeting() {
  PYTHONDONTWRITEBYTECODE=1 python3 -c '
import sys
sys.path.insert(0, sys.argv[1])
from state import DEFAULT_SCENARIO
print(next(m["id"] for m in DEFAULT_SCENARIO["meetings"] if m.get("state") == "started"))
' "$CORVISK_ROOT/tests/appliance"
}
