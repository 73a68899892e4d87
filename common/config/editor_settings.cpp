#include "common/config/editor_settings.h"

#include <variant>

#include "common/config/config_text.h"
#include "common/config/settings_io.h"
#include "common/config/settings_table.h"
#include "platform/file_replace.h"

bool EditorSettings::parse(const std::string& path) {
  *this = EditorSettings();
  std::string text;
  if (path.empty() || !ReadConfigText(path, &text)) return false;
  ReadSettings(text, this);
  unknown_elements = UnknownElements(text);
  return true;
}

bool EditorSettings::write(const std::string& path) const {
  std::string bytes;
  return EncodeConfigText(FormatConfigText(*this), &bytes) &&
         platform::ReplaceFileContents(path, bytes);
}

void CopyUnshownSettings(const EditorSettings& loaded, EditorSettings* values) {
  for (const Setting& row : kSettings) {
    if (row.editor.in_dialog) continue;
    std::visit([&](auto member) { values->*member = loaded.*member; }, row.editor.member);
  }
  values->unknown_elements = loaded.unknown_elements;
}
