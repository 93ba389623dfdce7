# Shared by the scripts that start throwaway database servers for the tests;
# sourced, not run.

# Makes a new data folder under ${TMPDIR:-/tmp} named after `tag`, owned by
# `user` and closed to others, and prints its path.
new_server_folder() {
  local user=$1 tag=$2 folder
  folder=$(mktemp -d "${TMPDIR:-/tmp}/$tag.XXXXXX")
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

# Runs a command as `user` (the servers refuse to run as root).
as_user() {
  local user=$1
  shift
  if [ "$(id -un)" = "$user" ]; then "$@"; else su "$user" -s /bin/sh -c "$(printf '%q ' "$@")"; fi
}
