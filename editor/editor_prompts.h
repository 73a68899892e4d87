// What the editor asks of the person using it: messages, questions and file choices. The
// dialog answers with message boxes and file dialogs; tests answer from a script.
#pragma once

#include <string>
#include <vector>

enum class MessageIcon { kNone, kWarning };

// A file dialog: its file-type filters, the suffix added to a name typed without one, and the
// file (or folder) it opens at. Every path it returns is absolute.
struct FileDialog {
  enum class Mode {
    kOpen,  // an existing file
    kSave,  // a file that may not exist yet, in an existing folder; no overwrite question
  };
  struct Filter {
    std::string name;     // e.g. "conファイル(con)"
    std::string pattern;  // e.g. "*.con"
    bool operator==(const Filter&) const = default;
  };
  Mode mode = Mode::kOpen;
  std::vector<Filter> filters;
  std::string default_suffix;  // without the dot; empty for none
  std::string initial_path;

  bool operator==(const FileDialog&) const = default;
};

class EditorPrompts {
 public:
  virtual ~EditorPrompts() = default;

  // A message with an OK button. "\r\n" in `text` is a line break.
  virtual void Message(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // OK and Cancel with the warning icon, Cancel the default. True for OK.
  virtual bool ConfirmOkCancel(const std::string& text, const std::string& caption) = 0;
  // Yes, No and Cancel with the question icon, Yes the default. True for Yes only.
  virtual bool AskYesNoCancel(const std::string& text, const std::string& caption) = 0;
  // True with the chosen file in `path`; false when the dialog was cancelled.
  virtual bool ChooseFile(const FileDialog& dialog, std::string* path) = 0;
  // True with the chosen folder in `path`; false when the picker was cancelled.
  virtual bool ChooseFolder(std::string* path) = 0;
};
