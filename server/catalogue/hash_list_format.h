// The hash list file, shared by its reader and its writer: one record of five lines per
// liked content,
//
//   <HASH_INFO>
//   <VIEWD>likes, signed decimal</VIEWD>
//   <FILE_SIZE>bytes of the liked file, unsigned decimal</FILE_SIZE>
//   <HASH>MD5 of the file, 32 lowercase hexadecimal digits</HASH>
//   </HASH_INFO>
//
// all ASCII, every line ended by CR LF, no byte-order mark, records in no particular order.
// Readers accept LF alone too, and any text between records.
#pragma once

#include <cstddef>
#include <string_view>

namespace hash_list_format {

inline constexpr std::string_view kRecordOpen = "<HASH_INFO>";
inline constexpr std::string_view kRecordClose = "</HASH_INFO>";
inline constexpr std::string_view kCountOpen = "<VIEWD>";
inline constexpr std::string_view kCountClose = "</VIEWD>";
inline constexpr std::string_view kSizeOpen = "<FILE_SIZE>";
inline constexpr std::string_view kSizeClose = "</FILE_SIZE>";
inline constexpr std::string_view kHashOpen = "<HASH>";
inline constexpr std::string_view kHashClose = "</HASH>";
inline constexpr std::string_view kLineEnd = "\r\n";

inline constexpr size_t kHashLength = 32;

}  // namespace hash_list_format
