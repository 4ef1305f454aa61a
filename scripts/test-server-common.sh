# Shared by the throw-away database servers of the tests (sourced, not run).
# Needs server_account (the account that owns the server when run by root)
# and script_name (for messages).

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$server_account" -- "$@"
    else
        "$@"
    fi
}

port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
    local p tries=0
    while [ $tries -lt 200 ]; do
        p=$(( 20000 + RANDOM % 30000 ))
        if ! port_in_use "$p"; then echo "$p"; return 0; fi
        tries=$((tries + 1))
    done
    echo "$script_name: no free port found" >&2
    return 1
}
