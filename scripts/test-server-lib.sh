# Shared by the scripts that start throwaway database servers for the tests;
# sourced, not run.

# Makes a new data folder under ${TMPDIR:-/tmp} named after `tag`, owned by
# `user` and closed to others, and prints its absolute path (as_user runs
# the servers' commands from the root folder).
new_server_folder() {
  local user=$1 tag=$2 folder
  folder=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/$tag.XXXXXX")")
  chown "$user": "$folder"
  chmod 700 "$folder"
  echo "$folder"
}

# The range of local ports that the kernel hands out to outgoing
# connections, as "low high". A client socket may hold any port of it at
# any moment, and a server cannot listen on a port that a client holds, not
# even while the client's closed connection waits (TIME-WAIT). Where the
# system does not say (no /proc), Linux's default.
outgoing_port_range() {
  local low high
  read -r low high 2>/dev/null </proc/sys/net/ipv4/ip_local_port_range ||
    { low=32768; high=60999; }
  echo "$low $high"
}

# The local ports of every TCP socket of this network namespace, in any
# state (listening, connected, closed and waiting), in decimal, one a line.
held_tcp_ports() {
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk '
    function hex(h,  i, n) {
      for (i = 1; i <= length(h); i++)
        n = n * 16 + index("0123456789ABCDEF", toupper(substr(h, i, 1))) - 1
      return n
    }
    $2 ~ /:/ { n = split($2, address, ":"); print hex(address[n]) }'
}

# The ports that the servers of these scripts keep while their folders
# stay: a server stopped to be started again (a test's restart) gets its
# own port back.
kept_server_ports() {
  cat "${TMPDIR:-/tmp}"/kv-*/port 2>/dev/null || true
}

# Prints a loopback port to listen on: from 10000 up (clear of the ports of
# services that a machine may run), outside the kernel's range for outgoing
# connections, held by no TCP socket, kept by no server of these scripts,
# and none of the ports given as arguments (those that an earlier try of
# the same start could not listen on), chosen at random so that starts at
# the same moment seldom meet.
free_loopback_port() {
  local low high port
  read -r low high < <(outgoing_port_range)
  port=$({ seq 10000 $((low - 1)); seq $((high + 1)) 65535; } | shuf |
    awk 'NR == FNR { held[$1]; next } !found && !($1 in held) { print; found = 1 }' \
      <(held_tcp_ports; kept_server_ports; printf '%s\n' "$@") -)
  if [ -z "$port" ]; then
    echo "no loopback port to listen on: every port from 10000 up is held," \
      "tried or in the kernel's range for outgoing connections ($low-$high," \
      "net.ipv4.ip_local_port_range)" >&2
    return 1
  fi
  echo "$port"
}

# Starts a server with `start <port>` on a port from free_loopback_port,
# sets `port` to it and keeps it in the server's `folder` (kept_server_ports).
# `start` answers 0 once its server listens, 2 when the server could not
# listen on the port (a socket took it after it was chosen: another server
# starting at the same moment, say), and any other status when the start
# failed for another reason; on failure it prints the server's own reason.
# A port that could not be listened on is followed by another, up to five
# tries in all.
start_on_free_port() {
  local folder=$1 start=$2 tried=() status
  for _ in 1 2 3 4 5; do
    # Where no port is left, the folder holds nothing to look at.
    port=$(free_loopback_port "${tried[@]}") || { rm -rf "$folder"; return 1; }
    echo "$port" >"$folder/port"
    status=0
    "$start" "$port" || status=$?
    [ "$status" -eq 2 ] || return "$status"
    tried+=("$port")
    echo "port $port was taken; trying another" >&2
  done
  echo "gave up after five ports that could not be listened on: ${tried[*]}" >&2
  return 1
}

# Prints why a server did not start: the last lines of its log `file`
# (stderr), and answers 2 when the log says its port was taken, else 1.
server_did_not_start() {
  local name=$1 log=$2
  echo "$name did not start; the end of $log:" >&2
  tail -n 5 "$log" 2>/dev/null | sed 's/^/    /' >&2
  if grep -q 'Address already in use' "$log" 2>/dev/null; then return 2; fi
  return 1
}

# Runs a command as `user` (the servers refuse to run as root), from the
# root folder: `user` may not be allowed into the folder the script was
# started from (a clone in /root, say), and the servers' tools would say
# so on every start.
as_user() {
  local user=$1
  shift
  if [ "$(id -un)" = "$user" ]; then (cd / && "$@")
  else (cd / && su "$user" -s /bin/sh -c "$(printf '%q ' "$@")"); fi
}
