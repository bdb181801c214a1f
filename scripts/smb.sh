# A throw-away Samba server for the tests: its own configuration, private, lock, state, cache
# and pid folders and password database in a temporary folder, one user and the share
# "Orvanta Web", serving on a free loopback port only; nothing of the system's Samba set-up is
# read or changed and no system service is started. Sourced; smb_start exports
#   KVE_TEST_SMB_URL          smb://127.0.0.1:PORT/Orvanta Web
#   KVE_TEST_SMB_PORT         the port
#   KVE_TEST_SMB_CREDENTIALS  a credentials file (username=, password=), mode 0600
#   KVE_TEST_SMB_SHARE_DIR    the share's folder on this host
#   KVE_TEST_SMB_CONF         the server's configuration (smb_restart and the tests use it)
#   KVE_TEST_SMB_SHARE_OWN_FS 1 when the share's folder is a file system of its own
#                             (SMB_SHARE_SIZE, default 256m), which a test may fill
# and smb_stop stops the server and removes the folder. smbd runs as root (it switches to the
# share's user for each connection), so without root the SMB tests are skipped.
#
# smbd signals its whole process group when it stops, so it runs in a session of its own
# (setsid), or it would take the test runner down with it.

smb_start() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "smb: not root; the SMB tests are skipped (smbd must start as root)" >&2
    return 0
  fi
  command -v smbd >/dev/null || smb_install
  if ! command -v smbd >/dev/null || ! command -v smbpasswd >/dev/null; then
    echo "smb: Samba not installed; the SMB tests are skipped" >&2
    return 0
  fi
  # The share's user: an account every Debian system has, so none is added to the system.
  local user=nobody
  if ! getent passwd "$user" >/dev/null; then
    echo "smb: no system user \"$user\" (also Samba's guest account); the SMB tests are skipped" >&2
    return 0
  fi
  SMB_DIR=$(mktemp -d /tmp/kve-smb.XXXXXX)
  chmod 755 "$SMB_DIR"
  mkdir -p "$SMB_DIR"/{private,lock,state,cache,pid,ncalrpc,log,share,readonly}
  chmod 700 "$SMB_DIR/private"
  # The share is a file system of its own, of a known size, where the machine allows it
  # (root may mount a tmpfs): a test can then fill it to the last byte. Elsewhere the test of
  # a full share is skipped.
  if mount -t tmpfs -o "size=${SMB_SHARE_SIZE:-256m},mode=0755" kve-smb-share "$SMB_DIR/share" 2>/dev/null; then
    export KVE_TEST_SMB_SHARE_OWN_FS=1
  fi
  chown "$user" "$SMB_DIR/share"
  SMB_PORT=$(smb_free_port)
  cat >"$SMB_DIR/smb.conf" <<EOF
[global]
  server role = standalone server
  workgroup = KVE
  netbios name = KVE-TEST
  smb ports = $SMB_PORT
  interfaces = 127.0.0.1
  bind interfaces only = yes
  disable netbios = yes
  server min protocol = SMB2_02
  private dir = $SMB_DIR/private
  lock directory = $SMB_DIR/lock
  state directory = $SMB_DIR/state
  cache directory = $SMB_DIR/cache
  pid directory = $SMB_DIR/pid
  ncalrpc dir = $SMB_DIR/ncalrpc
  passdb backend = tdbsam:$SMB_DIR/private/passdb.tdb
  log file = $SMB_DIR/log/%m.log
  log level = 1
  map to guest = never
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
  usershare path =
[Orvanta Web]
  path = $SMB_DIR/share
  read only = no
  valid users = $user
  create mask = 0644
[Readonly]
  path = $SMB_DIR/readonly
  read only = yes
  valid users = $user
EOF
  local password
  password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  printf '%s\n%s\n' "$password" "$password" |
    smbpasswd -c "$SMB_DIR/smb.conf" -s -a "$user" >/dev/null
  umask_was=$(umask); umask 077
  printf 'username=%s\npassword=%s\ndomain=KVE\n' "$user" "$password" >"$SMB_DIR/credentials"
  umask "$umask_was"
  export KVE_TEST_SMB_CONF="$SMB_DIR/smb.conf"
  smb_run || { smb_stop; return 1; }
  export KVE_TEST_SMB_PORT=$SMB_PORT
  export KVE_TEST_SMB_URL="smb://127.0.0.1:$SMB_PORT/Orvanta Web"
  export KVE_TEST_SMB_CREDENTIALS="$SMB_DIR/credentials"
  export KVE_TEST_SMB_SHARE_DIR="$SMB_DIR/share"
  echo "smb: test server on 127.0.0.1:$SMB_PORT" >&2
}

# Installs Samba without letting its package start the system's Samba services: while it
# installs, the Debian policy hook (policy-rc.d) refuses every service start. An existing hook
# is left as it is.
smb_install() {
  local guard=/usr/sbin/policy-rc.d
  if [ -e "$guard" ] || [ "${KVE_NO_APT:-0}" = 1 ]; then
    install_packages samba
    return
  fi
  printf '#!/bin/sh\nexit 101\n' >"$guard"
  chmod 755 "$guard"
  install_packages samba || true
  rm -f "$guard"
}

# Starts smbd on the configuration of smb_start and waits until it accepts connections.
smb_run() {
  setsid smbd --foreground --no-process-group --debug-stdout -s "$SMB_DIR/smb.conf" \
    >>"$SMB_DIR/log/smbd.out" 2>&1 </dev/null &
  SMB_PID=$!
  local _
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$SMB_PORT") 2>/dev/null; then return 0; fi
    if ! kill -0 "$SMB_PID" 2>/dev/null; then
      echo "smb: smbd exited before serving (log: $SMB_DIR/log):" >&2
      tail -n 20 "$SMB_DIR/log/smbd.out" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "smb: smbd did not listen within 10 s" >&2
  return 1
}

smb_free_port() {
  local port
  for _ in $(seq 50); do
    port=$(( 20000 + RANDOM % 20000 ))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  echo "$port"
}

smb_stop() {
  [ -n "${SMB_DIR:-}" ] || return 0
  if [ -n "${SMB_PID:-}" ]; then
    kill -TERM "$SMB_PID" 2>/dev/null || true
    wait "$SMB_PID" 2>/dev/null || true
    SMB_PID=
  fi
  # Its children (one per connection, the RPC helpers) are in its session; end the stragglers.
  local pidfile
  for pidfile in "$SMB_DIR"/pid/*.pid; do
    [ -f "$pidfile" ] && kill -TERM "$(cat "$pidfile")" 2>/dev/null || true
  done
  if [ -n "${KVE_TEST_SMB_SHARE_OWN_FS:-}" ]; then
    umount "$SMB_DIR/share" 2>/dev/null || umount -l "$SMB_DIR/share" 2>/dev/null || true
    unset KVE_TEST_SMB_SHARE_OWN_FS
  fi
  rm -rf "$SMB_DIR"
  SMB_DIR=
}
