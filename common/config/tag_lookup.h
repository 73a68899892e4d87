// Finding element values in configuration text: "<KEY>" value "</KEY>", flat, unescaped.
// The UPnP client reads the gateway's answers by the same rule.
//
// The opening tag is matched as a prefix of "<" + key, so "<USER" also opens a USER_NAME
// element; the value starts after the first ">" that follows the match and runs to the
// closing tag. Which occurrence is taken is what each function below documents.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The value of the first element: the first "<" + key and the first "</" + key + ">" of the
// whole text, the opening one before the closing one. Returns false when there is no such
// pair, or when the opening tag has no ">" before the closing tag.
bool FindTagValue(std::string_view text, std::string_view key, std::string* value);

// The values of the consecutive elements, starting as FindTagValue does and then searching the
// next opening tag from the previous closing tag and its closing tag from there. Stops at the
// first pair that is not an opening tag followed by its closing tag: later elements are not seen.
std::vector<std::string> FindAllTagValues(std::string_view text, std::string_view key);

// The editor's pair: how many values FindAllTagValues would return, and the value with that
// 0-based index (false when the walk stops before it).
size_t CountTagValues(std::string_view text, std::string_view key);
bool GetTagValueAt(std::string_view text, std::string_view key, size_t index, std::string* value);
