#include "common/config/settings_io.h"

#include <functional>
#include <type_traits>

#include "common/config/config_number.h"
#include "common/config/settings_table.h"
#include "common/config/tag_lookup.h"
#include "platform/text.h"

namespace {

// A numeric element's value, as its kind reads it.
int64_t NumberOf(SettingKind kind, std::string_view value) {
  switch (kind) {
    case SettingKind::kPort:
      return static_cast<uint16_t>(ParseConfigUnsigned(value));
    case SettingKind::kSignedFlag:
      return ParseConfigSigned(value);
    default:
      return ParseConfigUnsigned(value);
  }
}

template <typename T>
void Store(int64_t number, T* field) {
  *field = static_cast<T>(number);
}

void Store(int64_t number, bool* field) {
  *field = number != 0;
}

void Store(int64_t number, std::optional<uint32_t>* field) {
  *field = static_cast<uint32_t>(number);
}

template <typename T>
constexpr bool kIsOptional = false;
template <typename T>
constexpr bool kIsOptional<std::optional<T>> = true;

// What a text element reads as when it is absent. The hash file name's comes from the port,
// which is read first: PORT's row precedes HASH_FILE_NAME's.
template <typename Settings>
std::string AbsentText(const Setting& row, const Settings& settings) {
  if (row.kind == SettingKind::kHashFileName) {
    return "hash." + std::to_string(settings.port) + ".dat";
  }
  return row.absent;
}

template <typename Settings>
void ReadInto(const Setting& row, std::string_view text, const Settings&,
              std::vector<std::string>* field) {
  *field = FindAllTagValues(text, row.key);
}

template <typename Settings>
void ReadInto(const Setting& row, std::string_view text, const Settings& settings,
              std::string* field) {
  if (!FindTagValue(text, row.key, field)) *field = AbsentText(row, settings);
}

template <typename Settings, typename T>
void ReadInto(const Setting& row, std::string_view text, const Settings&, T* field) {
  std::string value;
  if (FindTagValue(text, row.key, &value)) {
    Store(NumberOf(row.kind, value), field);
  } else if constexpr (!kIsOptional<T>) {
    Store(NumberOf(row.kind, row.absent), field);
  }
}

// The server keeps each name in UTF-8 and, where it has one, its code page 932 form: clients
// send either. A hash is 32 ASCII digits; an account whose hash is not ASCII could never match,
// so it is left out.
void ReadInto(const Setting& row, std::string_view text, const ServerSettings&,
              std::vector<UserAccount>* users) {
  users->clear();
  for (const std::string& element : FindAllTagValues(text, row.key)) {
    std::string name, hash, priv;
    FindTagValue(element, kAccountNameKey, &name);
    FindTagValue(element, kAccountHashKey, &hash);
    FindTagValue(element, kAccountPrivilegeKey, &priv);
    UserAccount account;
    if (!platform::Utf8ToCp932(hash, &account.hash) || account.hash != hash) continue;
    if (!platform::Utf8ToCp932(name, &account.name_cp932)) account.name_cp932.clear();
    account.name = std::move(name);
    account.privilege = ParseConfigSigned(priv);
    users->push_back(std::move(account));
  }
}

// The editor keeps names and hashes as UTF-8, also those the server would leave out.
void ReadInto(const Setting& row, std::string_view text, const EditorSettings&,
              std::vector<EditorAccount>* accounts) {
  accounts->clear();
  size_t count = CountTagValues(text, row.key);
  for (size_t i = 0; i < count; ++i) {
    std::string element, priv;
    GetTagValueAt(text, row.key, i, &element);
    EditorAccount account;
    FindTagValue(element, kAccountNameKey, &account.name);
    FindTagValue(element, kAccountHashKey, &account.hash);
    FindTagValue(element, kAccountPrivilegeKey, &priv);
    account.privilege = ParseConfigSigned(priv);
    accounts->push_back(std::move(account));
  }
}

const ServerField& FieldOf(const Setting& row, const ServerSettings&) {
  return row.server;
}

const EditorMember& FieldOf(const Setting& row, const EditorSettings&) {
  return row.editor.member;
}

template <typename Settings>
void ReadAll(std::string_view text, Settings* settings) {
  for (const Setting& row : kSettings) {
    std::visit([&](auto member) { ReadInto(row, text, *settings, &(settings->*member)); },
               FieldOf(row, *settings));
  }
}

std::string Element(std::string_view key, std::string_view value) {
  std::string element;
  element.append("<").append(key).append(">").append(value);
  element.append("</").append(key).append(">");
  return element;
}

std::string Line(std::string_view key, std::string_view value) {
  return Element(key, value) + "\n";
}

void WriteValue(const Setting& row, const std::vector<std::string>& folders, std::string* text) {
  for (const std::string& folder : folders) *text += Line(row.key, folder);
}

// Accounts are written one after another, with no line break between or after them.
void WriteValue(const Setting& row, const std::vector<EditorAccount>& accounts, std::string* text) {
  for (const EditorAccount& account : accounts) {
    *text += Element(row.key, Element(kAccountNameKey, account.name) +
                                  Element(kAccountHashKey, account.hash) +
                                  Element(kAccountPrivilegeKey, std::to_string(account.privilege)));
  }
}

void WriteValue(const Setting& row, const std::string& value, std::string* text) {
  if (row.written == SettingWritten::kWhenSet && value.empty()) return;
  *text += Line(row.key, value);
}

void WriteValue(const Setting& row, bool value, std::string* text) {
  if (row.written == SettingWritten::kWhenSet && !value) return;
  *text += Line(row.key, value ? "1" : "0");
}

// The number as it is: a port beyond 16 bits is written unchanged.
void WriteValue(const Setting& row, int32_t value, std::string* text) {
  if (row.written == SettingWritten::kWhenSet && value == 0) return;
  *text += Line(row.key, std::to_string(value));
}

// Only a value the loaded file held is written.
void WriteValue(const Setting& row, const std::optional<uint32_t>& value, std::string* text) {
  if (value) *text += Line(row.key, std::to_string(*value));
}

}  // namespace

void ReadSettings(std::string_view text, ServerSettings* settings) {
  ReadAll(text, settings);
}

void ReadSettings(std::string_view text, EditorSettings* settings) {
  ReadAll(text, settings);
}

bool IsSettingKey(std::string_view name) {
  for (const Setting& row : kSettings) {
    if (name == row.key) return true;
  }
  return false;
}

void WalkElements(std::string_view text,
                  const std::function<void(std::string_view, std::string_view)>& element,
                  const std::function<void(std::string_view)>& unclosed) {
  size_t open = text.find('<');
  while (open != std::string_view::npos) {
    size_t name_end = text.find_first_of("<>", open + 1);
    if (name_end == std::string_view::npos) break;
    std::string_view name = text.substr(open + 1, name_end - open - 1);
    size_t end = std::string_view::npos;
    const bool opening = text[name_end] == '>' && !name.empty() && name.front() != '/';
    if (opening) {
      const std::string close = "</" + std::string(name) + ">";
      end = text.find(close, name_end + 1);
      if (end != std::string_view::npos) end += close.size();
    }
    if (end == std::string_view::npos) {
      if (opening) unclosed(name);
      open = text.find('<', open + 1);
      continue;
    }
    element(name, text.substr(open, end - open));
    open = text.find('<', end);
  }
}

std::vector<std::string> UnknownElements(std::string_view text) {
  std::vector<std::string> elements;
  WalkElements(
      text,
      [&](std::string_view name, std::string_view element) {
        if (!IsSettingKey(name)) elements.emplace_back(element);
      },
      [](std::string_view) {});
  return elements;
}

std::string FormatConfigText(const EditorSettings& settings) {
  std::string text;
  for (const Setting& row : kSettings) {
    std::visit([&](auto member) { WriteValue(row, settings.*member, &text); }, row.editor.member);
  }
  // Unknown elements come after every setting. Readers take the first opening tag that starts
  // with "<" + key, and an unknown name may start with a key ("<ZIP_REJECT_MAX>" starts with
  // "<ZIP_REJECT"): written before that setting's element, it would capture the setting's
  // value. After all settings, every setting's own element is met first, and the walks over the
  // PATH and USER elements end at their last one. A setting that is not written (an empty
  // HASH_FILE_NAME, UPnP_PORT 0) stays absent: a longer name's closing tag is not its own.
  for (const std::string& element : settings.unknown_elements) text += element + "\n";
  return text;
}
