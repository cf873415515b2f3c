# Sourced: start_xvfb starts Xvfb on a free display (1024x768x24) with the
# xcompmgr compositor (layered windows blend only with one) and exports
# DISPLAY; stop_xvfb ends both.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    VELQOR_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        xcompmgr -d ":$n" >/dev/null 2>&1 &
        VELQOR_XCOMPMGR_PID=$!
        return 0
      fi
      kill -0 "$VELQOR_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$VELQOR_XVFB_PID" 2>/dev/null
  done
  return 1
}
stop_xvfb() {
  [ -n "${VELQOR_XCOMPMGR_PID:-}" ] && kill "$VELQOR_XCOMPMGR_PID" 2>/dev/null
  [ -n "${VELQOR_XVFB_PID:-}" ] && kill "$VELQOR_XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  return 0
}
