// /script?name=...: the style sheets and browser scripts the pages load, built into the
// server, with Last-Modified revalidation against the date of the server's own executable.
#pragma once

#include <string>
#include <string_view>

#include "server/net/request_process.h"

class CJQueryProcess : public CRequestProcess {
 public:
  std::string GetPath() override { return "/script"; }
  int Process(IncomingRequest& request) override;
};

// The script or style sheet served under `name` (compared exactly) and its Content-Type. An
// unknown name gives an empty body typed "text/javascript".
void FindScript(std::string_view name, std::string_view* body, std::string_view* content_type);

// The complete /script response. `date` is the executable's date as FormatHttpDate writes it,
// or empty when it is unknown (then there is no Last-Modified line and never a 304);
// `if_modified_since` is the request's header value, empty when absent.
Response ScriptResponse(std::string_view name, std::string_view date,
                        std::string_view if_modified_since, std::string_view nonce);
