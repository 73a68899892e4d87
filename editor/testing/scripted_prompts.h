// Test helper: an EditorPrompts that writes down every message, question and dialog as one line
// of text, and answers from the answers a test queued.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "editor/editor_prompts.h"

class ScriptedPrompts : public EditorPrompts {
 public:
  // What was shown, in order: "[caption] text" for a message ("[caption!] text" with the
  // warning icon), "OK/Cancel [caption] text", "Yes/No/Cancel [caption] text", "file dialog",
  // "folder picker".
  std::vector<std::string> shown;
  std::vector<FileDialog> file_dialogs;
  // Answers to questions, in order: true for OK or Yes. An unexpected question gets Cancel.
  std::deque<bool> answers;
  // Answers to file dialogs and folder pickers: a path, or nullopt to cancel.
  std::deque<std::optional<std::string>> choices;

  void Message(const std::string& text, const std::string& caption, MessageIcon icon) override {
    shown.push_back("[" + caption + (icon == MessageIcon::kWarning ? "!" : "") + "] " + text);
  }
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override {
    shown.push_back("OK/Cancel [" + caption + "] " + text);
    return Answer();
  }
  bool AskYesNoCancel(const std::string& text, const std::string& caption) override {
    shown.push_back("Yes/No/Cancel [" + caption + "] " + text);
    return Answer();
  }
  bool ChooseFile(const FileDialog& dialog, std::string* path) override {
    shown.push_back("file dialog");
    file_dialogs.push_back(dialog);
    return Choice(path);
  }
  bool ChooseFolder(std::string* path) override {
    shown.push_back("folder picker");
    return Choice(path);
  }

 private:
  bool Answer() {
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool Choice(std::string* path) {
    if (choices.empty()) return false;
    std::optional<std::string> choice = choices.front();
    choices.pop_front();
    if (choice) *path = *choice;
    return choice.has_value();
  }
};
