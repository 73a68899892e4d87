#include "editor/qt_prompts.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// Message texts use CR LF or LF for a line break; a label breaks lines at LF alone.
QString MessageText(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QMessageBox::StandardButton Ask(QWidget* owner, QMessageBox::Icon icon, const std::string& text,
                                const std::string& caption, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton default_button) {
  QMessageBox box(icon, QString::fromStdString(caption), MessageText(text), buttons, owner);
  box.setDefaultButton(default_button);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString PathToQt(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string PathFromQt(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

void QtPrompts::Message(const std::string& text, const std::string& caption, MessageIcon icon) {
  Ask(owner_, icon == MessageIcon::kWarning ? QMessageBox::Warning : QMessageBox::NoIcon, text,
      caption, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtPrompts::ConfirmOkCancel(const std::string& text, const std::string& caption) {
  return Ask(owner_, QMessageBox::Warning, text, caption, QMessageBox::Ok | QMessageBox::Cancel,
             QMessageBox::Cancel) == QMessageBox::Ok;
}

bool QtPrompts::AskYesNoCancel(const std::string& text, const std::string& caption) {
  return Ask(owner_, QMessageBox::Question, text, caption,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
             QMessageBox::Yes) == QMessageBox::Yes;
}

bool QtPrompts::ChooseFile(const FileDialog& dialog, std::string* path) {
  QFileDialog file_dialog(owner_);
  QStringList filters;
  for (const FileDialog::Filter& filter : dialog.filters) {
    filters << QString::fromStdString(filter.name + " (" + filter.pattern + ")");
  }
  file_dialog.setNameFilters(filters);
  file_dialog.setDefaultSuffix(QString::fromStdString(dialog.default_suffix));
  if (dialog.mode == FileDialog::Mode::kOpen) {
    file_dialog.setAcceptMode(QFileDialog::AcceptOpen);
    file_dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    file_dialog.setAcceptMode(QFileDialog::AcceptSave);
    file_dialog.setFileMode(QFileDialog::AnyFile);
    file_dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  if (!dialog.initial_path.empty()) {
    QFileInfo initial(PathToQt(dialog.initial_path));
    if (initial.isAbsolute()) file_dialog.setDirectory(initial.absolutePath());
    file_dialog.selectFile(initial.fileName());
  }
  if (file_dialog.exec() != QDialog::Accepted || file_dialog.selectedFiles().isEmpty()) {
    return false;
  }
  *path = PathFromQt(file_dialog.selectedFiles().first());
  return true;
}

bool QtPrompts::ChooseFolder(std::string* path) {
  QFileDialog folder_dialog(owner_);
  folder_dialog.setFileMode(QFileDialog::Directory);
  folder_dialog.setOption(QFileDialog::ShowDirsOnly);
  if (folder_dialog.exec() != QDialog::Accepted || folder_dialog.selectedFiles().isEmpty()) {
    return false;
  }
  *path = PathFromQt(folder_dialog.selectedFiles().first());
  return true;
}
