// The editor's install and uninstall commands: they ask for the server program and a
// configuration file, and install or remove the service of that configuration's port.
#pragma once

#include <functional>
#include <string>

#include "editor/editor_prompts.h"
#include "editor/service_control.h"

class ServiceInstaller {
 public:
  // `prompts` and `control` must outlive the installer; `is_administrator` says whether the
  // process may install services at the moment a command runs.
  ServiceInstaller(EditorPrompts* prompts, ServiceControl* control,
                   std::function<bool()> is_administrator = IsAdministrator)
      : prompts_(prompts), control_(control), is_administrator_(std::move(is_administrator)) {}

  // The file dialogs open at `current_path`, the editor's current file. True when the service
  // was installed (and started, when that was asked for) or removed; false when the command
  // stopped or failed, after its message.
  bool Install(const std::string& current_path);
  bool Uninstall(const std::string& current_path);

 private:
  // The rights check and the two file dialogs. False when the command is to stop; otherwise
  // `command` is filled (config_path empty when the configuration dialog was cancelled), with
  // the configuration's port and whether it lists folders.
  bool Prepare(const std::string& current_path, ServiceCommand* command, uint16_t* port,
               bool* has_folders);

  EditorPrompts* prompts_;
  ServiceControl* control_;
  std::function<bool()> is_administrator_;
};
