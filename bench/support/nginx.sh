# Sourced by the benchmark scripts that load nginx as their anchor.
#
# run_nginx WORK PORT WORKERS FOLDER [FILE...]: (re)starts nginx with WORKERS worker processes
# on 127.0.0.1:PORT, serving each FOLDER/FILE as /FILE and 404 for everything else (without
# FILE, every file of FOLDER by its name). Its configuration, pid and logs live in WORK; an
# nginx started there before is stopped first. With NGINX_TLS_CERT and NGINX_TLS_KEY set (PEM
# files), it speaks HTTPS with HTTP/2 on that port, with no bound on the requests of one
# connection (a load client does not open new ones).
run_nginx() {
  local work=$1 port=$2 workers=$3 folder=$4 file locations=""
  shift 4
  for file in "$@"; do locations+="    location = /$file { root $folder; }"$'\n'; done
  if [ $# -eq 0 ]; then
    locations="    location / { root $folder; }"$'\n'
  else
    locations+="    location / { return 404; }"$'\n'
  fi
  local listen="listen 127.0.0.1:$port;"
  if [ -n "${NGINX_TLS_CERT:-}" ]; then
    listen="listen 127.0.0.1:$port ssl http2;
    ssl_certificate $NGINX_TLS_CERT;
    ssl_certificate_key $NGINX_TLS_KEY;
    keepalive_requests 1000000;"
  fi
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
    $listen
$locations
  }
}
NGINX
  nginx -c "$work/nginx.conf" -p "$work"
  sleep 0.5
}
