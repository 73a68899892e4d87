#include "editor/list_models.h"

#include "editor/qt_prompts.h"

void EditorListModel::Refresh() {
  beginResetModel();
  endResetModel();
}

int EditorListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant EditorListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= titles_.size()) {
    return QVariant();
  }
  return titles_[section];
}

bool EditorListModel::IsCell(const QModelIndex& index, int role, size_t rows) const {
  return role == Qt::DisplayRole && index.isValid() && index.row() >= 0 &&
         static_cast<size_t>(index.row()) < rows && index.column() >= 0 &&
         index.column() < titles_.size();
}

int FolderListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(editor_->folders().size());
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
  const std::vector<std::string>& folders = editor_->folders();
  if (!IsCell(index, role, folders.size())) return QVariant();
  return PathToQt(folders[index.row()]);
}

int AccountListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(editor_->accounts().size());
}

QVariant AccountListModel::data(const QModelIndex& index, int role) const {
  const std::vector<EditorAccount>& accounts = editor_->accounts();
  if (!IsCell(index, role, accounts.size())) return QVariant();
  const EditorAccount& account = accounts[index.row()];
  return QString::fromStdString(index.column() == 0 ? account.name
                                                    : PrivilegeText(account.privilege));
}
