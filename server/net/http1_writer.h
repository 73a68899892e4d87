// Writes a response as HTTP/1.1 puts it on the wire: "HTTP/1.1 " and the status, each header
// line as "name: value", a blank line, then the body.
#pragma once

#include <string>

#include "server/net/message.h"
#include "server/net/response.h"

// The message that carries `response`: its `bytes` hold the header block and the response's
// own body; a shared body or a file goes out after them as it is, never copied. The
// connection fields are left for the caller.
s_message Http1Message(Response response);
