# Corvisk.exe's launch arguments that scripts/run builds; sourced, never run.

# Prints, one per line, the arguments that make Corvisk test the meeting and
# join it as a guest (launch mode 2): each argument carries a switch
# character in front, then host, port and meeting id. A "parlemo://" link
# cannot ask for this: a link only ever opens the meeting list of a session
# that is already logged in, and always on port 443.
# Usage: corvisk_guest_join_args HOST PORT MEETING_ID
corvisk_guest_join_args() {
  if [ $# -ne 3 ] || [ -z "$1" ] || [ -z "$3" ] || ! [[ $2 =~ ^[1-9][0-9]{0,4}$ ]] || [ "$2" -gt 65535 ]; then
    echo "corvisk_guest_join_args: want HOST PORT(1-65535) MEETING_ID, got: $*" >&2
    return 2
  fi
  printf '%s\n' -2 "-$1" "-$2" "-$3"
}

# Prints, one per line, the arguments that open the login window with the
# appliance's address already in the server field (launch mode 4).
# Usage: corvisk_preset_login_args HOST PORT
corvisk_preset_login_args() {
  if [ $# -ne 2 ] || [ -z "$1" ] || ! [[ $2 =~ ^[1-9][0-9]{0,4}$ ]] || [ "$2" -gt 65535 ]; then
    echo "corvisk_preset_login_args: want HOST PORT(1-65535), got: $*" >&2
    return 2
  fi
  printf '%s\n' -4 "-$1" "-$2"
}
