// Test support: the split of a whole multipart/form-data body, the plain reference that the
// piecewise MultipartReader, which the server uses, is checked against.
#pragma once

#include <string_view>
#include <vector>

#include "server/upload/multipart_body.h"

// Splits `body` at the delimiter lines "--" + boundary. Text before the first delimiter is
// ignored; a delimiter elsewhere counts only at the start of a line. A part without a header
// block (ended by a blank line) is skipped, and so is the part after the last delimiter: the
// one after the closing delimiter, or an unfinished one when the closing delimiter never came.
MultipartResult SplitMultipart(std::string_view body, std::string_view boundary,
                               std::vector<MultipartPart>* parts);
