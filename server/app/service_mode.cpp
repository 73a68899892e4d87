#include "server/app/service_mode.h"

std::string InstanceName(uint16_t port) {
  return "Lumenvale:" + std::to_string(port);
}
