// The server as a systemd service: one unit per port, "Lumenvale:PORT.service", that runs the
// server on one configuration file, is started at boot and restarted when it fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The command line of a service: the server program and the configuration it reads.
struct ServiceCommand {
  std::string executable;   // absolute path of the server program
  std::string config_path;  // absolute path of its configuration file; empty for none
};

// "Lumenvale:" + decimal port: the service's name, which is also the server's instance name.
std::string ServiceName(uint16_t port);

// The unit file text for `command`. The configuration path is one double-quoted word of
// ExecStart (the server takes its path from between the quotes); the executable is quoted only
// when it holds characters that would otherwise split it. With a configuration file the server
// works in that file's folder, so a relative hash list file name lands beside it. False, with
// a reason in `error`, when the folder holds a character that a unit file cannot carry.
bool FormatServiceUnit(const ServiceCommand& command, const std::string& name, std::string* unit,
                       std::string* error);

// Whether the current process may install services (effective uid 0).
bool IsAdministrator();

// Unit files and the systemctl calls that manage them. Every operation reports failure with a
// reason (what failed, and what systemctl said) in `error`.
class ServiceControl {
 public:
  // Units go to `unit_folder`; `systemctl` is the command, with any leading arguments, that
  // is run with the verb and the unit name appended.
  explicit ServiceControl(std::string unit_folder = "/etc/systemd/system",
                          std::vector<std::string> systemctl = {"systemctl"})
      : unit_folder_(std::move(unit_folder)), systemctl_(std::move(systemctl)) {}

  // Writes the unit of `name` (replacing a file of that name whole), reloads systemd and
  // enables the unit. Does not start it. When systemd does not take the unit, its file is
  // removed again.
  bool InstallService(const ServiceCommand& command, const std::string& name, std::string* error);
  // Whether a unit file of `name` exists.
  bool ServiceInstalled(const std::string& name) const;
  // Stops the service; stopping one that is not running succeeds.
  bool StopService(const std::string& name, std::string* error);
  // Stops and disables the service, deletes its unit file and reloads systemd. A service that
  // cannot be stopped or disabled is left in place.
  bool RemoveService(const std::string& name, std::string* error);
  // Starts the service and waits until it reports that it is running.
  bool RunService(const std::string& name, std::string* error);

 private:
  std::string UnitPath(const std::string& name) const;
  bool Systemctl(const std::vector<std::string>& arguments, std::string* error);

  std::string unit_folder_;
  std::vector<std::string> systemctl_;
};
