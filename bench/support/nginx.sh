# Sourced by the benchmark scripts that load nginx as their anchor.
#
# run_nginx WORK PORT WORKERS FOLDER [FILE...]: (re)starts nginx with WORKERS worker processes
# on 127.0.0.1:PORT, serving each FOLDER/FILE as /FILE and 404 for everything else (without
# FILE, every file of FOLDER by its name). Its configuration, pid and logs live in WORK; an
# nginx started there before is stopped first.
run_nginx() {
  local work=$1 port=$2 workers=$3 folder=$4 file locations=""
  shift 4
  for file in "$@"; do locations+="    location = /$file { root $folder; }"$'\n'; done
  if [ $# -eq 0 ]; then
    locations="    location / { root $folder; }"$'\n'
  else
    locations+="    location / { return 404; }"$'\n'
  fi
  start_nginx "$work" "$workers" "    listen 127.0.0.1:$port;
$locations"
}

# run_nginx_tls WORK PORT WORKERS CERT KEY: the same with HTTPS (TLS 1.2 and 1.3, the PEM
# certificate chain CERT and its key KEY, session tickets as by default), answering 404 to
# everything.
run_nginx_tls() {
  start_nginx "$1" "$3" "    listen 127.0.0.1:$2 ssl;
    ssl_certificate $4;
    ssl_certificate_key $5;
    ssl_protocols TLSv1.2 TLSv1.3;
    location / { return 404; }"
}

# start_nginx WORK WORKERS SERVER: (re)starts nginx with one server block holding SERVER.
start_nginx() {
  local work=$1 workers=$2 server=$3
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null && sleep 0.5
  # Workers as this user: the work folder (mktemp -d) is closed to anyone else, and nginx
  # started by root would otherwise run them as nobody and answer 403.
  cat > "$work/nginx.conf" <<NGINX
user $(id -un) $(id -gn);
worker_processes $workers;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server {
$server
  }
}
NGINX
  nginx -c "$work/nginx.conf" -p "$work"
  sleep 0.5
}
