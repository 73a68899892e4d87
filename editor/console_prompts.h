// The editor's prompts in a console: messages and questions are printed, questions answered
// with a line ("y" for yes or OK), and the file and folder choices are the ones the command
// line named, handed over in advance.
#pragma once

#include <deque>
#include <iosfwd>
#include <optional>
#include <string>

#include "editor/editor_prompts.h"

class ConsolePrompts : public EditorPrompts {
 public:
  // `in` and `out` must outlive the prompts.
  ConsolePrompts(std::istream* in, std::ostream* out) : in_(in), out_(out) {}

  // The answers to the next file and folder choices, in order; std::nullopt cancels that
  // choice. A choice with no answer left is cancelled.
  void AnswerNextFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  void AnswerNextFolder(std::string path) { folders_.push_back(std::move(path)); }

  // "caption: text", with CR LF as a line break.
  void Message(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override;
  bool AskYesNoCancel(const std::string& text, const std::string& caption) override;
  bool ChooseFile(const FileDialog& dialog, std::string* path) override;
  bool ChooseFolder(std::string* path) override;

 private:
  // Prints the question with `choices` and reads the answer; true for "y" or "yes" in any
  // letter case. The end of the input answers no.
  bool Ask(const std::string& text, const std::string& caption, const char* choices);

  std::istream* in_;
  std::ostream* out_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::string> folders_;
};
