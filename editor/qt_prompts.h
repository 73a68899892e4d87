// The editor's prompts as Qt message boxes and file dialogs, owned by one window.
#pragma once

#include <QString>
#include <string>

#include "editor/editor_prompts.h"

class QWidget;

// File names between our byte strings and Qt, by the file-name encoding (UTF-8), so a name
// comes back with the bytes it went in with.
QString PathToQt(const std::string& path);
std::string PathFromQt(const QString& path);

class QtPrompts : public EditorPrompts {
 public:
  // `owner` is the window every box and dialog is modal to; it must outlive the prompts.
  explicit QtPrompts(QWidget* owner) : owner_(owner) {}

  void Message(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool ConfirmOkCancel(const std::string& text, const std::string& caption) override;
  bool AskYesNoCancel(const std::string& text, const std::string& caption) override;
  bool ChooseFile(const FileDialog& dialog, std::string* path) override;
  bool ChooseFolder(std::string* path) override;

 private:
  QWidget* owner_;
};
