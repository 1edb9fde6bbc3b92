#!/usr/bin/env bash
# shellcheck disable=SC2016  # "$" inside single quotes is meant literally here
# Private PostgreSQL, MariaDB and Firebird instances (loopback only) plus the
# ODBC driver registrations that the integration tests need.
#
#   scripts/test-servers.sh start    install what is missing, start, provision
#   scripts/test-servers.sh stop     stop the three servers
#   scripts/test-servers.sh status   show which servers run (exit 3 if not all)
#
# Everything lives under ${QRV_TEST_RUNDIR:-/tmp/qrv-test-servers}; the system
# clusters/services of the same packages are never touched or started.  After a
# successful start, $QRV_TEST_RUNDIR/servers.env holds KEY=VALUE lines that the
# tests read.  A second "start" while everything runs only re-checks logins.
set -euo pipefail

RUNDIR=${QRV_TEST_RUNDIR:-/tmp/qrv-test-servers}
RUNDIR=${RUNDIR%/}
case $RUNDIR in
    /*[[:space:]]*|/*[\'\"]*) echo "test-servers: QRV_TEST_RUNDIR must not contain blanks or quotes" >&2; exit 2 ;;
    /?*) (( ${#RUNDIR} <= 80 )) || { echo "test-servers: QRV_TEST_RUNDIR is too long for unix socket paths" >&2; exit 2; } ;;
    *) echo "test-servers: QRV_TEST_RUNDIR must be an absolute path" >&2; exit 2 ;;
esac
WAIT_SECS=${QRV_TEST_SERVER_WAIT:-60}
[[ $WAIT_SECS =~ ^[1-9][0-9]*$ ]] || WAIT_SECS=60

PG_PORT=55432
MY_PORT=33306
FB_PORT=33050
HOST=127.0.0.1
DB_USER=qrv
DB_PASSWORD=qrv
DB_NAME=qrv_test
FB_SYSDBA_PASSWORD=masterkey

PG_DIR=$RUNDIR/pg
PG_DATA=$PG_DIR/data
MY_DIR=$RUNDIR/my
MY_DATA=$MY_DIR/data
MY_SOCK=$MY_DIR/mysqld.sock
MY_PID=$MY_DIR/mysqld.pid
FB_DIR=$RUNDIR/fb
FB_ROOT=$FB_DIR/root
FB_LOCK=$FB_DIR/lock
FB_PID=$FB_DIR/firebird.pid
FB_SECDB=$FB_DIR/security3.fdb
FB_DB=$FB_DIR/$DB_NAME.fdb
FB_SYSLOG=/var/log/firebird/firebird3.0.log
ENV_FILE=$RUNDIR/servers.env
APT_LOG=$RUNDIR/apt.log

PACKAGES=(
    postgresql postgresql-contrib
    mariadb-server mariadb-client
    firebird3.0-server firebird3.0-utils
    unixodbc odbcinst odbc-postgresql odbc-mariadb libsqliteodbc tdsodbc
)

# Client tools must not pick up settings from the caller's environment.
unset FIREBIRD FIREBIRD_LOCK FIREBIRD_TMP ISC_USER ISC_PASSWORD \
      PGSERVICE PGSERVICEFILE PGOPTIONS PGSSLMODE PGPASSFILE \
      MYSQL_PWD MYSQL_HOST MYSQL_TCP_PORT MYSQL_UNIX_PORT 2>/dev/null || true
export LC_ALL=C.UTF-8 LANG=C.UTF-8

log()  { printf '[test-servers] %s\n' "$*" >&2; }
die()  { printf '[test-servers] ERROR: %s\n' "$*" >&2; exit 1; }

show_tail() { # show_tail FILE...
    local f
    for f in "$@"; do
        [[ -s $f ]] || continue
        printf '[test-servers] ---- last lines of %s ----\n' "$f" >&2
        tail -n 40 "$f" >&2 || true
        printf '[test-servers] ----\n' >&2
    done
}

now_ms() { local t; t=$(date +%s%N); echo $(( t / 1000000 )); }

# Run a command with every file descriptor above 2 closed, so that servers
# never hold on to pipes or locks of whoever called this script.
exec_closefds() {
    local fd
    for fd in "/proc/$BASHPID/fd/"*; do
        fd=${fd##*/}
        if [[ $fd =~ ^[0-9]+$ ]] && (( fd > 2 )); then
            eval "exec ${fd}>&-" 2>/dev/null || true
        fi
    done
    exec "$@"
}

# spawn_daemon LOGFILE CMD...  : start CMD detached (own session, cwd /, no
# inherited descriptors); sets SPAWNED_PID.
SPAWNED_PID=
spawn_daemon() {
    local logfile=$1; shift
    ( cd / && exec_closefds setsid "$@" </dev/null >>"$logfile" 2>&1 ) &
    SPAWNED_PID=$!
}

# pid_is PID COMM [ENV_OR_ARG_SUBSTRING] : the process exists, has that name
# and (optionally) mentions the substring in its command line or environment.
pid_is() {
    local pid=$1 comm=$2 mark=${3:-}
    local stat state
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    [[ $stat == *"($comm) "* ]] || return 1
    state=${stat##*) }; state=${state%% *}
    [[ $state == [ZXx] ]] && return 1                  # exited, not yet reaped
    [[ -z $mark ]] && return 0
    { tr '\0' '\n' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -qF -- "$mark" && return 0
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qF -- "$mark" && return 0
    return 1
}

read_pid() {
    if [[ -r $1 ]]; then head -n 1 "$1" 2>/dev/null | tr -dc '0-9' || true; fi
}

port_open() { (exec 3<>"/dev/tcp/$HOST/$1") 2>/dev/null; }

port_free() { # port_free PORT WHAT : die unless nothing listens on the port yet
    port_open "$1" || return 0
    die "$2: port $HOST:$1 is already in use by another process (an instance from another QRV_TEST_RUNDIR?)"
}

# kill_and_wait PID SECONDS
kill_and_wait() {
    local pid=$1 secs=$2 i
    kill -TERM "$pid" 2>/dev/null || return 0
    for (( i = 0; i < secs * 10; i++ )); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    log "process $pid did not stop in ${secs}s, killing it"
    kill -KILL "$pid" 2>/dev/null || true
    sleep 0.2
}

# ---------------------------------------------------------------- packages --

APT_OPTS=(-o DPkg::Lock::Timeout=600 -o Dpkg::Options::=--force-confdef
          -o Dpkg::Options::=--force-confold)
POLICY_RC=/usr/sbin/policy-rc.d
POLICY_MARK='# qrv-test-servers: keep package installs from starting services'

remove_policy_rc() {
    if [[ -f $POLICY_RC ]] && grep -qF "$POLICY_MARK" "$POLICY_RC" 2>/dev/null; then
        rm -f "$POLICY_RC"
    fi
}

apt_retry() { # apt_retry ARGS... : retries while another apt/dpkg holds locks
    # (apt-get update does not wait for the lists lock by itself)
    local deadline=$(( $(date +%s) + 600 )) rc
    while :; do
        rc=0
        apt-get "${APT_OPTS[@]}" "$@" </dev/null >>"$APT_LOG" 2>&1 || rc=$?
        (( rc == 0 )) && return 0
        if (( $(date +%s) >= deadline )); then return "$rc"; fi
        log "apt-get $1 failed (exit $rc), maybe busy with another apt/dpkg run; retrying"
        if [[ $1 == install ]]; then
            dpkg --configure -a </dev/null >>"$APT_LOG" 2>&1 || true
        fi
        sleep 3
    done
}

ensure_packages() {
    local missing=() p st
    for p in "${PACKAGES[@]}"; do
        st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [[ $st == "install ok installed" ]] || missing+=("$p")
    done
    (( ${#missing[@]} == 0 )) && return 0

    command -v apt-get >/dev/null || die "missing packages (${missing[*]}) and no apt-get"
    log "installing: ${missing[*]} (log: $APT_LOG)"
    : >"$APT_LOG"
    export DEBIAN_FRONTEND=noninteractive
    if [[ ! -e $POLICY_RC ]]; then
        printf '#!/bin/sh\n%s\nexit 101\n' "$POLICY_MARK" >"$POLICY_RC"
        chmod 755 "$POLICY_RC"
        trap remove_policy_rc EXIT
    fi
    apt_retry update -qq || { show_tail "$APT_LOG"; die "apt-get update failed"; }
    apt_retry install -y -qq --no-install-recommends "${missing[@]}" \
        || { show_tail "$APT_LOG"; die "apt-get install ${missing[*]} failed"; }
    remove_policy_rc
    trap - EXIT
    for p in "${missing[@]}"; do
        st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [[ $st == "install ok installed" ]] || die "package $p is still not installed ($st)"
    done
}

# A service user must be able to walk down to the run directory.
ensure_reachable() { # ensure_reachable USER
    local user=$1 d='' part
    runuser -u "$user" -- test -x "$RUNDIR" 2>/dev/null && return 0
    local IFS=/
    for part in ${RUNDIR#/}; do             # walk down from the top
        d+=/$part
        if ! runuser -u "$user" -- test -x "$d" 2>/dev/null; then
            log "granting traverse permission (o+x) on $d for user $user"
            chmod o+x "$d"
        fi
    done
    unset IFS
    runuser -u "$user" -- test -x "$RUNDIR" || die "user $user cannot reach $RUNDIR"
}

# -------------------------------------------------------------- PostgreSQL --

PG_BIN=
find_pg_bin() {
    local d best=
    for d in /usr/lib/postgresql/*/bin; do
        [[ -x $d/initdb && -x $d/pg_ctl ]] || continue
        if [[ -z $best ]] || [[ $(printf '%s\n%s\n' "$best" "$d" | sort -V | tail -n 1) == "$d" ]]; then
            best=$d
        fi
    done
    [[ -n $best ]] || die "no PostgreSQL server binaries under /usr/lib/postgresql"
    PG_BIN=$best
}

pg_pid() { read_pid "$PG_DATA/postmaster.pid"; }
pg_running() { local p; p=$(pg_pid); [[ -n $p ]] && pid_is "$p" postgres "$PG_DATA"; }

pg_admin_psql() { # SQL on stdin, as the postgres OS user over the socket
    runuser -u postgres -- "$PG_BIN/psql" -X -q -At -v ON_ERROR_STOP=1 \
        -h "$PG_DIR" -p "$PG_PORT" -d postgres
}

pg_login_ok() {
    PGPASSWORD=$DB_PASSWORD PGCONNECT_TIMEOUT=5 "$PG_BIN/psql" -X -At \
        -h "$HOST" -p "$PG_PORT" -U "$DB_USER" -d "$DB_NAME" \
        -c 'select 1' </dev/null 2>/dev/null | grep -qx 1
}

pg_init() {
    log "postgresql: initializing $PG_DATA"
    rm -rf "$PG_DIR"
    mkdir -p "$PG_DIR"
    chown postgres:postgres "$PG_DIR"
    chmod 755 "$PG_DIR"
    runuser -u postgres -- "$PG_BIN/initdb" -D "$PG_DATA" -U postgres -E UTF8 \
        --locale=C.UTF-8 --auth-local=peer --auth-host=scram-sha-256 --no-sync \
        >"$PG_DIR/initdb.log" 2>&1 \
        || { show_tail "$PG_DIR/initdb.log"; die "postgresql: initdb failed"; }
    cat >>"$PG_DATA/postgresql.conf" <<EOF

# qrv test instance
listen_addresses = '$HOST'
port = $PG_PORT
unix_socket_directories = '$PG_DIR'
password_encryption = scram-sha-256
max_connections = 100
shared_buffers = 64MB
fsync = off
synchronous_commit = off
full_page_writes = off
logging_collector = off
log_min_messages = warning
EOF
    touch "$PG_DIR/.initialized"
}

pg_start() { # returns non-zero on failure (log already shown)
    local p
    p=$(pg_pid)
    if [[ -n $p ]] && ! pid_is "$p" postgres "$PG_DATA"; then
        # stale, left by a killed server (maybe not even reaped yet)
        rm -f "$PG_DATA/postmaster.pid" "$PG_DIR/.s.PGSQL.$PG_PORT" "$PG_DIR/.s.PGSQL.$PG_PORT.lock"
    fi
    ( cd / && exec_closefds runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DATA" \
        -l "$PG_DIR/server.log" -w -t "$WAIT_SECS" start ) >"$PG_DIR/pg_ctl.log" 2>&1 \
        || { show_tail "$PG_DIR/pg_ctl.log" "$PG_DIR/server.log"; return 1; }
}

pg_provision() {
    pg_admin_psql <<EOF
SELECT format('CREATE ROLE %I LOGIN SUPERUSER', '$DB_USER')
 WHERE NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '$DB_USER') \gexec
ALTER ROLE $DB_USER LOGIN SUPERUSER PASSWORD '$DB_PASSWORD';
SELECT format('CREATE DATABASE %I OWNER %I', '$DB_NAME', '$DB_USER')
 WHERE NOT EXISTS (SELECT 1 FROM pg_database WHERE datname = '$DB_NAME') \gexec
EOF
}

pg_ensure() {
    find_pg_bin
    if pg_running; then
        pg_login_ok && return 0
        if pg_provision >/dev/null 2>&1 && pg_login_ok; then return 0; fi
        log "postgresql: the running instance does not answer properly; restarting it"
        pg_stop
    fi
    if ! pg_running; then
        ensure_reachable postgres
        port_free "$PG_PORT" postgresql
        local fresh=0
        if [[ ! -f $PG_DIR/.initialized || ! -f $PG_DATA/PG_VERSION ]]; then
            pg_init; fresh=1
        fi
        log "postgresql: starting on $HOST:$PG_PORT ($PG_BIN)"
        if ! pg_start; then
            (( fresh )) && die "postgresql: server did not start (see above)"
            log "postgresql: start failed on the existing data directory; recreating it"
            pg_init
            pg_start || die "postgresql: server did not start (see above)"
        fi
    fi
    pg_provision || { show_tail "$PG_DIR/server.log"; die "postgresql: creating role/database failed"; }
    pg_login_ok || { show_tail "$PG_DIR/server.log"; die "postgresql: cannot log in as $DB_USER over TCP"; }
}

pg_stop() {
    pg_running || return 0
    find_pg_bin
    log "postgresql: stopping"
    ( cd / && exec_closefds runuser -u postgres -- "$PG_BIN/pg_ctl" -D "$PG_DATA" \
        -m fast -w -t 60 stop ) >/dev/null 2>&1 || {
        local p; p=$(pg_pid)
        if [[ -n $p ]] && pid_is "$p" postgres "$PG_DATA"; then kill_and_wait "$p" 10; fi
    }
}

# ----------------------------------------------------------------- MariaDB --

my_pid() { read_pid "$MY_PID"; }
my_running() { local p; p=$(my_pid); [[ -n $p ]] && pid_is "$p" mariadbd "$MY_DATA"; }

my_root() { # SQL on stdin, as root over the socket
    mariadb --no-defaults --protocol=socket --socket="$MY_SOCK" -uroot \
        --connect-timeout=5 --batch --skip-column-names "$@"
}

my_login_ok() {
    MYSQL_PWD=$DB_PASSWORD mariadb --no-defaults --protocol=tcp -h "$HOST" -P "$MY_PORT" \
        -u "$DB_USER" --connect-timeout=5 --batch --skip-column-names \
        -e 'select 1' "$DB_NAME" </dev/null 2>/dev/null | grep -qx 1
}

my_init() {
    log "mariadb: initializing $MY_DATA"
    rm -rf "$MY_DIR"
    mkdir -p "$MY_DIR"
    chown mysql:mysql "$MY_DIR"
    chmod 755 "$MY_DIR"
    ( cd / && mariadb-install-db --no-defaults --user=mysql --datadir="$MY_DATA" \
        --auth-root-authentication-method=socket --skip-test-db \
        --skip-name-resolve ) >"$MY_DIR/install.log" 2>&1 \
        || { show_tail "$MY_DIR/install.log"; die "mariadb: mariadb-install-db failed"; }
    touch "$MY_DIR/.initialized"
}

my_start() {
    local mariadbd=/usr/sbin/mariadbd i p
    [[ -x $mariadbd ]] || mariadbd=/usr/sbin/mysqld
    rm -f "$MY_PID" "$MY_SOCK" "$MY_SOCK.lock"
    : >>"$MY_DIR/error.log"; chown mysql:mysql "$MY_DIR/error.log"
    spawn_daemon "$MY_DIR/stdout.log" "$mariadbd" --no-defaults --user=mysql \
        --datadir="$MY_DATA" --port="$MY_PORT" --bind-address="$HOST" \
        --socket="$MY_SOCK" --pid-file="$MY_PID" --log-error="$MY_DIR/error.log" \
        --skip-name-resolve --character-set-server=utf8mb4 \
        --collation-server=utf8mb4_general_ci --innodb-buffer-pool-size=128M \
        --innodb-flush-log-at-trx-commit=2 --max-connections=200 \
        --skip-log-bin --log-warnings=1
    p=$SPAWNED_PID
    for (( i = 0; i < WAIT_SECS * 5; i++ )); do
        if mariadb-admin --no-defaults --protocol=socket --socket="$MY_SOCK" -uroot \
                --connect-timeout=2 ping >/dev/null 2>&1 && port_open "$MY_PORT"; then
            return 0
        fi
        if ! kill -0 "$p" 2>/dev/null; then
            show_tail "$MY_DIR/stdout.log" "$MY_DIR/error.log"
            log "mariadb: server exited during start-up"
            return 1
        fi
        sleep 0.2
    done
    show_tail "$MY_DIR/stdout.log" "$MY_DIR/error.log"
    log "mariadb: server did not accept connections within ${WAIT_SECS}s"
    kill_and_wait "$p" 10
    return 1
}

my_provision() {
    local h sql="CREATE DATABASE IF NOT EXISTS \`$DB_NAME\` CHARACTER SET utf8mb4;"
    for h in '%' localhost "$HOST"; do
        sql+="CREATE USER IF NOT EXISTS '$DB_USER'@'$h' IDENTIFIED BY '$DB_PASSWORD';"
        sql+="ALTER USER '$DB_USER'@'$h' IDENTIFIED BY '$DB_PASSWORD';"
        sql+="GRANT ALL PRIVILEGES ON *.* TO '$DB_USER'@'$h' WITH GRANT OPTION;"
    done
    sql+="FLUSH PRIVILEGES;"
    my_root -e "$sql" </dev/null
}

my_ensure() {
    if my_running; then
        my_login_ok && return 0
        if my_provision >/dev/null 2>&1 && my_login_ok; then return 0; fi
        log "mariadb: the running instance does not answer properly; restarting it"
        my_stop
    fi
    if ! my_running; then
        ensure_reachable mysql
        port_free "$MY_PORT" mariadb
        local fresh=0
        if [[ ! -f $MY_DIR/.initialized || ! -d $MY_DATA/mysql ]]; then
            my_init; fresh=1
        fi
        log "mariadb: starting on $HOST:$MY_PORT"
        if ! my_start; then
            (( fresh )) && die "mariadb: server did not start (see above)"
            log "mariadb: start failed on the existing data directory; recreating it"
            my_init
            my_start || die "mariadb: server did not start (see above)"
        fi
    fi
    my_provision || { show_tail "$MY_DIR/error.log"; die "mariadb: creating user/database failed"; }
    my_login_ok || { show_tail "$MY_DIR/error.log"; die "mariadb: cannot log in as $DB_USER over TCP"; }
}

my_stop() {
    my_running || return 0
    log "mariadb: stopping"
    kill_and_wait "$(my_pid)" 60
    rm -f "$MY_PID"
}

# ---------------------------------------------------------------- Firebird --

FB_SYSROOT=
find_fb_root() {
    local d
    for d in /usr/lib/*/firebird/3.0 /usr/lib/firebird/3.0; do
        if [[ -d $d/plugins && -f $d/firebird.msg ]]; then FB_SYSROOT=$d; return 0; fi
    done
    die "firebird: cannot find the Firebird 3 installation directory"
}

fb_pid() { read_pid "$FB_PID"; }
fb_running() { local p; p=$(fb_pid); [[ -n $p ]] && pid_is "$p" firebird "FIREBIRD=$FB_ROOT"; }

fb_env() { # fb_env CMD... : run as the firebird user against our configuration
    ( cd / && exec_closefds setpriv --reuid=firebird --regid=firebird --init-groups \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$FB_DIR" LANG=C.UTF-8 \
        FIREBIRD="$FB_ROOT" FIREBIRD_LOCK="$FB_LOCK" FIREBIRD_TMP="$FB_DIR/tmp" "$@" )
}

fb_isql_remote() { # fb_isql_remote USER PASSWORD [DB] ; SQL on stdin
    ( cd / && isql-fb -q -b -m -user "$1" -password "$2" ${3:+"$3"} )
}

fb_login_ok() {
    printf 'select 42 from rdb$database;\n' \
        | fb_isql_remote "$DB_USER" "$DB_PASSWORD" "$HOST/$FB_PORT:$FB_DB" 2>/dev/null \
        | grep -qw 42
}

fb_write_config() {
    local f
    mkdir -p "$FB_ROOT" "$FB_LOCK" "$FB_DIR/tmp"
    for f in "$FB_SYSROOT"/*; do
        case ${f##*/} in
            firebird.conf|databases.conf) ;;
            *) ln -sfn "$f" "$FB_ROOT/${f##*/}" ;;
        esac
    done
    cat >"$FB_ROOT/firebird.conf" <<EOF
# qrv test instance
RemoteServicePort = $FB_PORT
RemoteBindAddress = $HOST
SecurityDatabase = $FB_SECDB
AuthServer = Srp256, Srp, Legacy_Auth
AuthClient = Srp256, Srp, Legacy_Auth
UserManager = Srp, Legacy_UserManager
WireCrypt = Enabled
ServerMode = Super
UdfAccess = None
DatabaseAccess = Full
EOF
    cat >"$FB_ROOT/databases.conf" <<EOF
security.db = $FB_SECDB
{
	RemoteAccess = false
}
$DB_NAME = $FB_DB
EOF
    chown -R firebird:firebird "$FB_DIR"
}

# Embedded-mode (server stopped) setup of the security database and users.
fb_setup_security() {
    local sql=
    if [[ ! -s $FB_SECDB ]]; then
        sql+="create database '$FB_SECDB';"$'\n'
        sql+="input /usr/share/firebird/3.0/security.sql;"$'\n'
        sql+="commit;"$'\n'
    fi
    sql+="connect '$FB_SECDB' user SYSDBA;"$'\n'
    sql+="create or alter user SYSDBA password '$FB_SYSDBA_PASSWORD' using plugin Srp;"$'\n'
    sql+="create or alter user SYSDBA password '$FB_SYSDBA_PASSWORD' using plugin Legacy_UserManager;"$'\n'
    sql+="create or alter user $DB_USER password '$DB_PASSWORD' grant admin role using plugin Srp;"$'\n'
    sql+="create or alter user $DB_USER password '$DB_PASSWORD' grant admin role using plugin Legacy_UserManager;"$'\n'
    sql+="commit;"$'\n'
    sql+="grant create database to user $DB_USER;"$'\n'
    sql+="commit;"$'\n'
    [[ -f /usr/share/firebird/3.0/security.sql || -s $FB_SECDB ]] \
        || die "firebird: /usr/share/firebird/3.0/security.sql is missing"
    if [[ ! -s $FB_SECDB ]]; then rm -f "$FB_SECDB"; fi
    printf '%s' "$sql" | fb_env isql-fb -q -b -m -user SYSDBA >"$FB_DIR/setup.log" 2>&1 \
        || { show_tail "$FB_DIR/setup.log"; log "firebird: setting up users in $FB_SECDB failed"; return 1; }
}

fb_start() {
    local i p
    rm -f "$FB_PID"
    : >>"$FB_DIR/server.log"; chown firebird:firebird "$FB_DIR/server.log"
    spawn_daemon "$FB_DIR/server.log" setpriv --reuid=firebird --regid=firebird --init-groups \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$FB_DIR" LANG=C.UTF-8 \
        FIREBIRD="$FB_ROOT" FIREBIRD_LOCK="$FB_LOCK" FIREBIRD_TMP="$FB_DIR/tmp" \
        /bin/sh -c 'echo $$ >"$0" && exec /usr/sbin/firebird' "$FB_PID"
    p=$SPAWNED_PID
    for (( i = 0; i < WAIT_SECS * 5; i++ )); do
        if port_open "$FB_PORT" && fb_running; then return 0; fi
        if ! kill -0 "$p" 2>/dev/null; then
            show_tail "$FB_DIR/server.log" "$FB_SYSLOG"
            log "firebird: server exited during start-up"
            return 1
        fi
        sleep 0.2
    done
    show_tail "$FB_DIR/server.log" "$FB_SYSLOG"
    log "firebird: server did not listen on $HOST:$FB_PORT within ${WAIT_SECS}s"
    kill_and_wait "$p" 10
    return 1
}

fb_create_db() {
    [[ -f $FB_DB ]] && return 0
    log "firebird: creating $FB_DB"
    printf "create database '%s' default character set UTF8;\ncommit;\n" "$HOST/$FB_PORT:$FB_DB" \
        | fb_isql_remote "$DB_USER" "$DB_PASSWORD" >"$FB_DIR/create.log" 2>&1 \
        || { show_tail "$FB_DIR/create.log" "$FB_SYSLOG"; log "firebird: creating $FB_DB failed"; return 1; }
}

fb_wipe() {
    log "firebird: initializing $FB_DIR"
    rm -rf "$FB_DIR"
    mkdir -p "$FB_DIR"
}

# Configuration and users (embedded mode), then server start, database and a
# real remote login.  Returns non-zero (after showing logs) on failure.
fb_bring_up() {
    local i
    chmod 755 "$FB_DIR"
    fb_write_config || return 1
    fb_setup_security || return 1
    touch "$FB_DIR/.initialized"
    log "firebird: starting on $HOST:$FB_PORT"
    fb_start || return 1
    fb_create_db || { fb_stop; return 1; }
    for (( i = 0; i < 10; i++ )); do fb_login_ok && return 0; sleep 0.5; done
    printf 'select 42 from rdb$database;\n' \
        | fb_isql_remote "$DB_USER" "$DB_PASSWORD" "$HOST/$FB_PORT:$FB_DB" >&2 || true
    show_tail "$FB_DIR/server.log" "$FB_SYSLOG"
    log "firebird: cannot log in as $DB_USER to $HOST/$FB_PORT:$FB_DB"
    fb_stop
    return 1
}

fb_ensure() {
    find_fb_root
    if fb_running; then
        fb_login_ok && return 0
        if fb_create_db >/dev/null 2>&1 && fb_login_ok; then return 0; fi
        log "firebird: the running instance does not answer properly; restarting it"
        fb_stop
    fi
    ensure_reachable firebird
    port_free "$FB_PORT" firebird
    local fresh=0
    if [[ ! -f $FB_DIR/.initialized ]]; then fb_wipe; fresh=1; fi
    fb_bring_up && return 0
    (( fresh )) && die "firebird: server did not come up (see above)"
    log "firebird: start failed with the existing files; recreating them"
    fb_wipe
    fb_bring_up || die "firebird: server did not come up (see above)"
}

fb_stop() {
    fb_running || return 0
    log "firebird: stopping"
    kill_and_wait "$(fb_pid)" 30
    rm -f "$FB_PID"
}

# -------------------------------------------------------------------- ODBC --

odbc_lib() { # odbc_lib FILE : absolute path of an installed ODBC driver library
    local d
    for d in /usr/lib/*/odbc /usr/lib/odbc /usr/lib64 /usr/lib; do
        [[ -e $d/$1 ]] && { echo "$d/$1"; return 0; }
    done
    return 1
}

odbc_register() { # odbc_register NAME DESCRIPTION DRIVER_FILE [SETUP_FILE]
    local name=$1 desc=$2 lib setup='' tmp
    odbcinst -q -d -n "$name" >/dev/null 2>&1 && return 0
    lib=$(odbc_lib "$3") || die "odbc: driver library $3 for \"$name\" not found"
    [[ -n ${4:-} ]] && setup=$(odbc_lib "$4" || true)
    log "odbc: registering driver \"$name\" ($lib)"
    tmp=$(mktemp)
    {
        printf '[%s]\nDescription=%s\nDriver=%s\n' "$name" "$desc" "$lib"
        [[ -n $setup ]] && printf 'Setup=%s\n' "$setup"
        printf 'UsageCount=1\n'
    } >"$tmp"
    odbcinst -i -d -f "$tmp" >/dev/null || { rm -f "$tmp"; die "odbc: odbcinst -i failed for \"$name\""; }
    rm -f "$tmp"
    odbcinst -q -d -n "$name" >/dev/null 2>&1 || die "odbc: \"$name\" is not registered after odbcinst -i"
}

odbc_ensure() {
    odbc_register "PostgreSQL Unicode" "PostgreSQL ODBC driver (Unicode version)" psqlodbcw.so libodbcpsqlS.so
    odbc_register "MariaDB Unicode" "MariaDB Connector/ODBC (Unicode)" libmaodbc.so
    odbc_register "SQLite3" "SQLite3 ODBC Driver" libsqlite3odbc.so libsqlite3odbc.so
    odbc_register "FreeTDS" "TDS driver (Sybase/MS SQL)" libtdsodbc.so libtdsS.so
}

# ---------------------------------------------------------------- env file --

write_env() {
    local tmp=$ENV_FILE.tmp.$$
    cat >"$tmp" <<EOF
QRV_PG_HOST=$HOST
QRV_PG_PORT=$PG_PORT
QRV_PG_USER=$DB_USER
QRV_PG_PASSWORD=$DB_PASSWORD
QRV_PG_DB=$DB_NAME
QRV_MY_HOST=$HOST
QRV_MY_PORT=$MY_PORT
QRV_MY_USER=$DB_USER
QRV_MY_PASSWORD=$DB_PASSWORD
QRV_MY_DB=$DB_NAME
QRV_FB_HOST=$HOST
QRV_FB_PORT=$FB_PORT
QRV_FB_USER=$DB_USER
QRV_FB_PASSWORD=$DB_PASSWORD
QRV_FB_DB=$FB_DB
QRV_ODBC_PG_DRIVER=PostgreSQL Unicode
QRV_ODBC_MY_DRIVER=MariaDB Unicode
QRV_ODBC_SQLITE_DRIVER=SQLite3
EOF
    chmod 644 "$tmp"
    mv -f "$tmp" "$ENV_FILE"
}

# ---------------------------------------------------------------- commands --

need_root() {
    (( EUID == 0 )) && return 0
    if command -v sudo >/dev/null 2>&1; then
        exec sudo env QRV_TEST_RUNDIR="$RUNDIR" QRV_TEST_SERVER_WAIT="$WAIT_SECS" \
            bash "$SCRIPT" "$@"
    fi
    die "must run as root (or with sudo available)"
}

take_lock() {
    mkdir -p "$RUNDIR"
    chmod 755 "$RUNDIR"
    exec 9>"$RUNDIR/.lock"
    flock -w 900 9 || die "another test-servers.sh run holds $RUNDIR/.lock"
}

cmd_start() {
    local t0 t1
    t0=$(now_ms)
    take_lock
    ensure_packages
    pg_ensure
    my_ensure
    fb_ensure
    odbc_ensure
    write_env
    t1=$(now_ms)
    log "ready in $(( (t1 - t0) / 1000 )).$(( (t1 - t0) % 1000 / 100 ))s:" \
        "postgresql $HOST:$PG_PORT, mariadb $HOST:$MY_PORT, firebird $HOST:$FB_PORT; env in $ENV_FILE"
}

cmd_stop() {
    [[ -d $RUNDIR ]] || return 0
    take_lock
    fb_stop
    my_stop
    pg_stop
    log "stopped"
}

status_line() { # status_line NAME PORT PID_OR_EMPTY
    if [[ -n $3 ]]; then
        printf '%-11s running (pid %s) on %s:%s\n' "$1:" "$3" "$HOST" "$2"
    elif (( EUID != 0 )) && port_open "$2"; then
        printf '%-11s running on %s:%s (pid not readable without root)\n' "$1:" "$HOST" "$2"
    else
        printf '%-11s stopped\n' "$1:"; return 1
    fi
}

cmd_status() {
    local rc=0 p=
    if pg_running; then p=$(pg_pid); else p=; fi
    status_line postgresql "$PG_PORT" "$p" || rc=3
    if my_running; then p=$(my_pid); else p=; fi
    status_line mariadb "$MY_PORT" "$p" || rc=3
    p=$(fb_pid)
    if [[ -z $p ]] || ! pid_is "$p" firebird; then p=; fi
    status_line firebird "$FB_PORT" "$p" || rc=3
    return "$rc"
}

SCRIPT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
cd /

case ${1:-} in
    start)  need_root "$@"; cmd_start ;;
    stop)   need_root "$@"; cmd_stop ;;
    status) cmd_status ;;
    restart) need_root "$@"; cmd_stop; cmd_start ;;
    *) echo "usage: $0 start|stop|status|restart" >&2; exit 2 ;;
esac
