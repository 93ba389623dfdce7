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

# Prints a free loopback port: one that nothing answers on.
free_loopback_port() {
  local candidate
  for candidate in $(shuf -i 20000-60000 -n 50); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  echo "no free port found" >&2
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
