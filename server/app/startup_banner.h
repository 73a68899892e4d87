// The line the server prints at start so whoever started it knows where to look.
#pragma once

#include <string>

#include "common/config/server_settings.h"
#include "server/tls/certificate_store.h"

// "Lumenvale is serving http://localhost:PORT/ from FOLDER (empty), ..." (https:// with
// HTTPS on) with a note on each folder that is missing or empty, since that is why a gallery
// shows no pictures.
std::string StartupBanner(const ServerSettings& settings, int port);

// Whether a visitor must log in, since a gallery open to the network by mistake shows nothing
// wrong: "Login is on: ..." or "Login is off: ...".
std::string LoginLine(const ServerSettings& settings);

// "From the Internet (UPnP):\n  ADDRESS\n" for the address the gateway forwards to the
// gallery; "" when `public_address` is empty (no mapping, or no address reported).
std::string PublicAddressLines(const std::string& public_address);

// "TLS certificate PATH, SHA-256 fingerprint XX:XX:...\n": what a visitor compares with what
// the browser shows of the certificate.
std::string CertificateLine(const CertificateStore& certificates);
