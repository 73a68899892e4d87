-- wrk script: answers the gallery's Digest challenge (qop=auth, MD5) on every request.
-- Arguments: user, password, then one nonce per wrk thread (fetched before the run). The
-- request target is the URL's. Each
-- thread counts its own nc under its own nonce and takes a fresh nonce from any 401 (a
-- stale one). MD5 comes from libcrypto through LuaJIT's FFI.
local ffi = require("ffi")
ffi.cdef [[ unsigned char *MD5(const unsigned char *d, size_t n, unsigned char *md); ]]
local crypto = ffi.load("crypto")
local digest = ffi.new("unsigned char[16]")

local function md5hex(text)
  crypto.MD5(text, #text, digest)
  local hex = {}
  for i = 0, 15 do hex[#hex + 1] = string.format("%02x", digest[i]) end
  return table.concat(hex)
end

local threads = {}
local thread_count = 0
local all_args

function setup(thread)
  thread_count = thread_count + 1
  thread:set("thread_number", thread_count)
  table.insert(threads, thread)
end

local user, ha1, ha2, nonce, cnonce
local nc = 0
local path

function init(args)
  user = args[1]
  path = wrk.path
  ha1 = md5hex(user .. ":secret:" .. args[2])
  ha2 = md5hex("GET:" .. path)
  nonce = args[2 + thread_number]
  cnonce = string.format("%016x", thread_number)
end

function request()
  nc = nc + 1
  local count = string.format("%08x", nc)
  local response = md5hex(ha1 .. ":" .. nonce .. ":" .. count .. ":" .. cnonce .. ":auth:" .. ha2)
  local header = 'Digest username="' .. user .. '", realm="secret", nonce="' .. nonce ..
                 '", uri="' .. path .. '", algorithm=MD5, response="' .. response ..
                 '", qop=auth, nc=' .. count .. ', cnonce="' .. cnonce .. '"'
  return wrk.format("GET", path, { ["Authorization"] = header })
end

function response(status, headers, body)
  if status == 401 then
    local challenge = headers["WWW-Authenticate"] or ""
    local fresh = challenge:match('nonce="([^"]+)"')
    if fresh then
      nonce = fresh
      nc = 0
    end
  end
end
