// The gateway's device description: how it is asked for and where its WAN service is
// controlled.
#pragma once

#include <string>
#include <string_view>

#include "server/upnp/gateway_url.h"

// The GET request for the description at `target`.
std::string DescriptionRequest(const GatewayTarget& target);

// Looks up the WAN service in a description (the whole answer, header and body): the first of
// kWanServiceTypes, in that order, that occurs anywhere in it goes to *service_type; the value
// of the first controlURL element from that occurrence on goes to *control_url. Returns true
// when both were found and the control URL is usable (IsUsableUrl); *service_type is set
// whenever a service type was found.
bool FindControlUrl(std::string_view description, std::string* service_type,
                    std::string* control_url);
