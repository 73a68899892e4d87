// The configuration file's readers and writer, driven by the settings table. Internal to
// lv_config.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/config/editor_settings.h"
#include "common/config/server_settings.h"

// Fills every table field of `settings` from the decoded file `text`, in table order; an
// absent or malformed element gives the row's absent value.
void ReadSettings(std::string_view text, ServerSettings* settings);
void ReadSettings(std::string_view text, EditorSettings* settings);

// Whether `name` is a row's key, exactly: a longer name that starts with a key is not one.
bool IsSettingKey(std::string_view name);

// Walks the top-level elements of `text` in file order: `element` gets each one's name and
// the element itself, `unclosed` the name of each opening tag that is never closed, after
// which the walk goes on inside it. Rules as for UnknownElements.
void WalkElements(
    std::string_view text,
    const std::function<void(std::string_view name, std::string_view element)>& element,
    const std::function<void(std::string_view name)>& unclosed);

// The top-level elements of `text` whose name is no setting's key, verbatim and in file
// order. An element is "<" + name + ">" up to the first "</" + name + ">" after it; text
// outside elements, and an opening tag that is never closed, are passed over.
std::vector<std::string> UnknownElements(std::string_view text);

// The whole file as UTF-8 text with "\n" line ends: the settings in table order, then the
// unknown elements, one a line.
std::string FormatConfigText(const EditorSettings& settings);
