#include "server/app/startup_config.h"

#include <cstdio>

bool LoadStartupSettings(const std::string& command_line, ServerSettings* settings) {
  ConfigReport report;
  const bool servable = settings->LoadForStart(command_line, &report);
  for (const std::string& warning : report.warnings) {
    std::fprintf(stderr, "Warning: %s: %s.\n", settings->config_path.c_str(), warning.c_str());
  }
  if (!servable) std::fprintf(stderr, "%s. Nothing is served.\n", report.error.c_str());
  return servable;
}
