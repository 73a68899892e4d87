// The folder and account lists of the main dialog as Qt models that hold no data of their own:
// every cell is asked of the editor when a view draws it.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include "editor/config_editor.h"

// What both lists share: the editor they show, their column titles, and the reset after a change.
class EditorListModel : public QAbstractTableModel {
 public:
  EditorListModel(const ConfigEditor* editor, QStringList titles)
      : editor_(editor), titles_(std::move(titles)) {}

  // Tells the views that the editor's list has changed; their selection is cleared.
  void Refresh();

  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 protected:
  // Whether `index` is a displayed cell of a list of `rows` rows; others are not answered.
  bool IsCell(const QModelIndex& index, int role, size_t rows) const;

  const ConfigEditor* editor_;

 private:
  QStringList titles_;
};

// One column "フォルダ名": the folder path.
class FolderListModel : public EditorListModel {
 public:
  explicit FolderListModel(const ConfigEditor* editor)
      : EditorListModel(editor, {QStringLiteral("フォルダ名")}) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

// Columns "ユーザー名" (the name) and "権限" (the privilege as the drop-down names it).
class AccountListModel : public EditorListModel {
 public:
  explicit AccountListModel(const ConfigEditor* editor)
      : EditorListModel(editor, {QStringLiteral("ユーザー名"), QStringLiteral("権限")}) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
