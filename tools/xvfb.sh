# Sourced by the run scripts: start_xvfb starts a private X display (Xvfb
# picks a free display number itself) and exports DISPLAY; stop_xvfb ends it.
start_xvfb() {
  local numberFile
  numberFile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
  QV_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$numberFile" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(tr -d '\n' <"$numberFile")"
  rm -f "$numberFile"
}

stop_xvfb() {
  if [ -n "${QV_XVFB_PID:-}" ]; then
    kill "$QV_XVFB_PID" 2>/dev/null || true
    wait "$QV_XVFB_PID" 2>/dev/null || true
    QV_XVFB_PID=
  fi
}
