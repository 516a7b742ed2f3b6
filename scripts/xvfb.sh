# Sourced by the scripts that need a virtual X screen.
# start_xvfb work-folder [Xvfb option...]: starts Xvfb on a display number it picks itself, waits until it
# accepts clients, and sets display (":N") and xvfb_pid. Xvfb writes the number to -displayfd only once it is
# ready, so there is no number to guess and no socket to poll.
start_xvfb() {
    local file=$1/xvfb-display
    shift
    : >"$file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$file" >/dev/null 2>&1 &
    xvfb_pid=$!
    local _
    for _ in $(seq 300); do
        [ -s "$file" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    local number
    read -r number <"$file" || true
    [[ "$number" =~ ^[0-9]+$ ]] || {
        echo "Xvfb did not start" >&2
        return 1
    }
    display=:$number
}
