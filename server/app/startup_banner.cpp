#include "server/app/startup_banner.h"

#include <filesystem>
#include <system_error>

namespace {

std::string FolderNote(const std::string& folder) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) return " (missing)";
  std::filesystem::directory_iterator it(folder, error);
  if (error) return " (not readable)";
  return it == std::filesystem::directory_iterator() ? " (empty)" : "";
}

}  // namespace

std::string StartupBanner(const ServerSettings& settings, int port) {
  std::string line = std::string("Lumenvale is serving ") +
                     (settings.https != 0 ? "https" : "http") +
                     "://localhost:" + std::to_string(port) + "/";
  if (settings.folders.empty()) return line + " with no picture folders configured";
  line += " from ";
  for (size_t i = 0; i < settings.folders.size(); ++i) {
    if (i > 0) line += ", ";
    line += settings.folders[i] + FolderNote(settings.folders[i]);
  }
  if (!settings.loaded) line += " (no configuration file: defaults)";
  return line;
}

std::string LoginLine(const ServerSettings& settings) {
  if (settings.need_user == 0) {
    return "Login is off: anyone who reaches the port sees the pictures (NEED_USER 0).";
  }
  if (settings.users.empty()) return "Login is on, but no user is configured: nobody can log in.";
  const size_t users = settings.users.size();
  return "Login is on: every request needs the name and password of " +
         (users == 1 ? std::string("the one user.")
                     : "one of " + std::to_string(users) + " users.");
}

std::string CertificateLine(const CertificateStore& certificates) {
  return "TLS certificate " + certificates.cert_path() + ", SHA-256 fingerprint " +
         certificates.fingerprint() + "\n";
}

std::string PublicAddressLines(const std::string& public_address) {
  if (public_address.empty()) return "";
  return "From the Internet (UPnP):\n  " + public_address + "\n";
}
