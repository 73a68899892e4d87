// The configuration file as text: its bytes decoded to one UTF-8 string, and UTF-8 text
// encoded to the bytes the editor writes. Internal to lv_config.
#pragma once

#include <string>
#include <string_view>

// Decodes a whole file as a text-mode reader would: a UTF-16LE byte-order mark (FF FE) or a
// UTF-8 one (EF BB BF) selects that encoding, no mark means code page 932, and a UTF-16BE mark
// (FE FF) is refused (returns false). CR LF becomes "\n"; a lone LF or CR is kept. Sequences
// that have no Unicode form (an unpaired surrogate, an invalid Shift-JIS byte) become U+FFFD,
// so one bad character does not hide the rest of the file. Bytes after a UTF-8 mark are kept
// as they are.
bool DecodeConfigText(std::string_view bytes, std::string* text);

// Reads the file at `path` and decodes it. False when it cannot be opened or read, or when
// DecodeConfigText refuses it; `why` (when given) then says which, as a person reads it.
bool ReadConfigText(const std::string& path, std::string* text, std::string* why = nullptr);

// The bytes of `text` as the editor stores it: UTF-16LE with a byte-order mark, every "\n"
// written as CR LF. False when `text` is not valid UTF-8.
bool EncodeConfigText(std::string_view text, std::string* bytes);
