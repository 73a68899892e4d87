#include "editor/console_prompts.h"

#include <istream>
#include <ostream>

#include "platform/text.h"

namespace {

std::string ConsoleText(const std::string& text, const std::string& caption) {
  std::string line = caption.empty() ? "" : caption + ": ";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i];
  }
  return line;
}

}  // namespace

void ConsolePrompts::Message(const std::string& text, const std::string& caption, MessageIcon) {
  *out_ << ConsoleText(text, caption) << "\n" << std::flush;
}

bool ConsolePrompts::Ask(const std::string& text, const std::string& caption, const char* choices) {
  *out_ << ConsoleText(text, caption) << " " << choices << " " << std::flush;
  std::string answer;
  if (!std::getline(*in_, answer)) {
    *out_ << "\n" << std::flush;
    return false;
  }
  answer = platform::AsciiToLower(answer);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer == "y" || answer == "yes";
}

bool ConsolePrompts::ConfirmOkCancel(const std::string& text, const std::string& caption) {
  return Ask(text, caption, "[y = OK / N = Cancel]");
}

bool ConsolePrompts::AskYesNoCancel(const std::string& text, const std::string& caption) {
  return Ask(text, caption, "[y/N]");
}

bool ConsolePrompts::ChooseFile(const FileDialog&, std::string* path) {
  if (files_.empty()) return false;
  std::optional<std::string> answer = std::move(files_.front());
  files_.pop_front();
  if (!answer) return false;
  *path = *answer;
  return true;
}

bool ConsolePrompts::ChooseFolder(std::string* path) {
  if (folders_.empty()) return false;
  *path = std::move(folders_.front());
  folders_.pop_front();
  return true;
}
