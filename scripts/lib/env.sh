# Shared settings of the project's scripts; sourced, never run.

CORVISK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Everything built from outside the repository lives in one cache folder that
# survives clean clones: the cross-built dependencies and the template Wine prefix.
CORVISK_CACHE=${CORVISK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/corvisk}
CORVISK_BUILD=${CORVISK_BUILD:-$CORVISK_ROOT/build}

# Parallel jobs: every core, or CORVISK_JOBS when set (a machine shared with other builds).
corvisk_jobs() { echo "${CORVISK_JOBS:-$(nproc 2>/dev/null || echo 2)}"; }

# The dependency cache is keyed by the build recipe, so a changed recipe builds anew.
corvisk_deps_prefix() {
  local key
  key=$(cat "$CORVISK_ROOT/scripts/build-deps" | sha1sum | cut -c1-12)
  echo "$CORVISK_CACHE/deps-$key"
}

corvisk_template_prefix() { echo "$CORVISK_CACHE/wineprefix-template-v1"; }

# Wine settings for every program we start: no debug noise, no Mono or Gecko,
# no menu entries written to the host, and the prefix of this run.
corvisk_wine_env() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
  export WINEPREFIX=${WINEPREFIX:-$CORVISK_CACHE/wineprefix-dev}
  # Sound devices exist under Wine only with an ALSA device; a null one serves.
  if [ -z "${ALSA_CONFIG_PATH:-}" ] && [ -f /usr/share/alsa/alsa.conf ]; then
    local conf="$CORVISK_CACHE/asound-null.conf"
    if [ ! -f "$conf" ]; then
      mkdir -p "$CORVISK_CACHE"
      printf '</usr/share/alsa/alsa.conf>\npcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$conf"
    fi
    export ALSA_CONFIG_PATH=$conf
  fi
}

# Makes a Wine prefix ready for programs without a window manager: a window
# close otherwise costs about two seconds.
corvisk_prepare_prefix() {
  local prefix=$1
  mkdir -p "$(dirname "$prefix")"
  WINEPREFIX=$prefix corvisk_wine_env
  WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 </dev/null
  WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
  WINEPREFIX=$prefix wineserver -w
}

# Starts a private Xvfb (screen WxHxD, default 1280x800x24) and exports
# DISPLAY; the caller kills $CORVISK_XVFB_PID.
corvisk_start_xvfb() {
  local n screen=${1:-1280x800x24}
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 </dev/null &
    CORVISK_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; return 0; }
      kill -0 $CORVISK_XVFB_PID 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}
