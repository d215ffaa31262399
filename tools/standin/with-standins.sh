#!/usr/bin/env bash
# Runs a command (a test program) with both stand-in servers serving the
# current folder as the client's working folder, and stops them afterwards:
#   tools/standin/with-standins.sh tools/wine-run.sh game_tests.exe ...
# The servers also end by themselves if this script dies.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$PWD
rm -rf "$dir/standin" "$dir/data/vant_ip.txt" "$dir/data/vantfile_ip.txt"
mkdir -p "$dir/standin" "$dir/data"

python3 "$here/game_server.py" --dir "$dir" --parent $$ &
game=$!
python3 "$here/file_server.py" --dir "$dir" --parent $$ &
file=$!
stop() {
  kill "$game" "$file" 2>/dev/null
  wait "$game" "$file" 2>/dev/null
}
trap stop EXIT

for _ in $(seq 100); do
  [ -s "$dir/data/vant_ip.txt" ] && [ -s "$dir/data/vantfile_ip.txt" ] && break
  sleep 0.1
done
if ! [ -s "$dir/data/vant_ip.txt" ] || ! [ -s "$dir/data/vantfile_ip.txt" ]; then
  echo "with-standins: the stand-in servers did not start" >&2
  exit 1
fi

# Tests that need the servers run only where this is set.
export QV_STANDIN=1
"$@"
