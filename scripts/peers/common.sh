# Shared by the test-server scripts of this folder; each sets $dir and $port before calling these.

# Records why the server cannot run and ends the script: with success for a developer (the tests
# then skip and say why), with failure in CI.
unavailable() {
  mkdir -p "$dir"
  echo "$1" > "$dir/unavailable"
  echo "$1" >&2
  if [ -n "${CI:-}" ]; then exit 1; fi
  exit 0
}

port_answers() {
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}

# Waits up to ten seconds until the process is gone.
wait_gone() {
  local pid=$1 name=$2
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  echo "$name (pid $pid) did not stop" >&2
  return 1
}

# True when every directory above the path lets other users pass.
others_can_reach() {
  local path
  path=$(dirname "$1")
  while [ "$path" != "/" ]; do
    [ "$(( 0$(stat -c %a "$path") & 01 ))" -ne 0 ] || return 1
    path=$(dirname "$path")
  done
}

# The longest directory in which the servers' socket paths (Dovecot's login sockets, Postfix's
# private services) stay within the 108 bytes a Unix socket's path may have.
max_runtime_dir_length=40

# Makes $dir a fresh, empty, absolute directory that the servers' own users can reach: where they
# could not reach the build directory, or where its path is too long for the servers' sockets (a
# deep checkout), $dir becomes a link to a directory under /tmp.
fresh_reachable_dir() {
  [ -L "$dir" ] && rm -rf "$(readlink -f "$dir")"
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
  if [ ${#dir} -le $max_runtime_dir_length ] && others_can_reach "$dir"; then
    mkdir "$dir"
  else
    ln -s "$(mktemp -d /tmp/msp.XXXXXX)" "$dir"
    dir=$(readlink -f "$dir")
  fi
  chmod 755 "$dir"
}

# Waits up to five seconds until the check command succeeds, then marks the server ready. When it
# never does, shows the named logs, stops the server and fails.
await_ready() {
  local name=$1 check=$2
  shift 2
  for _ in $(seq 1 100); do
    if "$check"; then
      echo "$port" > "$dir/ready"
      return 0
    fi
    sleep 0.05
  done
  echo "$name did not answer on port $port; its logs:" >&2
  cat "$@" >&2 || true
  stop || true
  exit 1
}

# Runs start or stop, as the first argument asks.
dispatch() {
  case "$action" in
    start) start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop <dir> [port]" >&2; exit 2 ;;
  esac
}

# A private CA ($dir/tls/ca.pem) and a server certificate it signed for localhost, 127.0.0.1 and
# 127.0.0.2 ($dir/tls/server.pem, server.key), for the servers' TLS listeners. 127.0.0.3 is left out
# on purpose: a client that connects there must reject the certificate's name.
make_test_certificates() {
  command -v openssl >/dev/null 2>&1 || unavailable "the openssl tool is not installed (apt-get install openssl)"
  local tls=$dir/tls
  mkdir -p "$tls"
  (
    cd "$tls"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem \
      -days 30 -subj "/CN=Test CA" -addext "basicConstraints=critical,CA:TRUE" \
      -addext "keyUsage=critical,keyCertSign,cRLSign"
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key -out server.csr \
      -subj "/CN=localhost"
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1,IP:127.0.0.2\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' > server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
      -extfile server.ext -out server.pem
    openssl x509 -in server.pem -noout -fingerprint -sha256 | sed 's/.*=//' > server.sha256
  ) >"$dir/tls.log" 2>&1 || { cat "$dir/tls.log" >&2; exit 1; }
  chmod 755 "$tls"
  chmod 644 "$tls"/*.pem
}
