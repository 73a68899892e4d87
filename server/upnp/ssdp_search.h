// The search for an Internet gateway: the services looked for, the search datagram and the
// location in a gateway's answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The WAN services a gateway may offer, in the order they are searched for and looked up in
// its description.
inline constexpr std::array<std::string_view, 5> kWanServiceTypes = {
    "urn:schemas-upnp-org:service:WANIPConnection:1",
    "urn:schemas-upnp-org:service:WANPPPConnection:1",
    "urn:schemas-upnp-org:service:WANIPConnection:2",
    "urn:schemas-upnp-org:service:WANPPPConnection:2",
    "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1",
};

inline constexpr std::string_view kSsdpAddress = "239.255.255.250";
inline constexpr uint16_t kSsdpPort = 1900;

// The largest search answer read; a longer datagram is cut.
inline constexpr size_t kMaxSearchAnswerBytes = 10240;

// The M-SEARCH datagram for one service type.
std::string SearchDatagram(std::string_view service_type);

// The location in a search answer: after the first "location" (in any letter case), the text
// from the next ":" on, with every ":" and blank skipped, up to the first CR or LF. False when
// the answer has no "location"; a location that could not stand in a request (see
// IsUsableUrl) comes back empty.
bool FindLocation(std::string_view answer, std::string* location);
