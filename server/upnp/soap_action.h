// The SOAP actions sent to the gateway's WAN service, and the one answer that is read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/upnp/gateway_url.h"

// The action names; each goes into the SOAPACTION header after the service type and "#".
inline constexpr std::string_view kAddPortMapping = "AddPortMapping";
inline constexpr std::string_view kDeletePortMapping = "DeletePortMapping";
inline constexpr std::string_view kGetExternalIPAddress = "GetExternalIPAddress";

// The envelopes: a TCP mapping of `external_port` to `internal_port` on `internal_client`
// for `lease_seconds` (0 would be for good), described as "is" + internal port; its removal;
// the address query.
std::string AddPortMappingBody(std::string_view service_type, uint16_t external_port,
                               uint16_t internal_port, std::string_view internal_client,
                               uint32_t lease_seconds);
std::string DeletePortMappingBody(std::string_view service_type, uint16_t external_port);
std::string GetExternalIPAddressBody(std::string_view service_type);

// The POST of `body` as `action` of `service_type` to `target`.
std::string SoapRequest(const GatewayTarget& target, std::string_view service_type,
                        std::string_view action, std::string_view body);

// Whether an answer's status line says 200 (the action was carried out).
bool IsSuccessAnswer(std::string_view answer);

// The external address in a GetExternalIPAddress answer: the value of its first
// NewExternalIPAddress element when that is a dotted IPv4 address, else "".
std::string ExternalAddressOf(std::string_view answer);
