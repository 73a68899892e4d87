// The editor's main dialog: every setting of a configuration file in one fixed-size window,
// with load, save, drag and drop of .con files, and the service commands. The editing itself
// is the ConfigEditor's; the dialog shows its state and hands it the controls' values.
#pragma once

#include <QDialog>

#include "editor/config_editor.h"
#include "editor/list_models.h"
#include "editor/qt_prompts.h"
#include "editor/service_control.h"
#include "editor/service_installer.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTreeView;

class CMainDlg : public QDialog {
 public:
  explicit CMainDlg(QWidget* parent = nullptr);

  // Loads the configuration file at `path` (absolute) as the load button does.
  void Open(const std::string& path);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* SettingsColumn();
  QWidget* AccessColumn();
  QWidget* OptionsBlock();
  QWidget* HttpsGroup();
  QWidget* ButtonRow();

  // Shows a loaded file: caption, lists and the other controls.
  void ShowLoaded(const EditorSettings& settings);
  // The values of the controls, as the save writes them.
  EditorSettings ControlValues() const;

  void AddFolder();
  void DeleteFolders();
  void BrowseDatabase();
  // Puts the chosen PEM file's path into `edit`.
  void BrowsePem(QLineEdit* edit);
  void AddAccount();
  void DeleteAccounts();
  void Load();
  void Save();
  void About();

  QtPrompts prompts_{this};
  ConfigEditor editor_{&prompts_};
  ServiceControl service_control_;
  ServiceInstaller installer_{&prompts_, &service_control_};
  FolderListModel folder_model_{&editor_};
  AccountListModel account_model_{&editor_};

  QLineEdit* title_;
  QTreeView* folder_list_;
  QCheckBox* sub_;
  QCheckBox* zip_reject_;
  QLineEdit* port_;
  QLineEdit* database_;
  QCheckBox* sort_windows_;
  QCheckBox* reset_standby_access_;
  QCheckBox* zip_reject_upload_;
  QCheckBox* show_fullpath_;
  QCheckBox* open_new_tab_;
  QCheckBox* open_name_thumbnail_folder_;
  QCheckBox* top_folder_;
  QCheckBox* upnp_;
  QLineEdit* upnp_port_;
  QCheckBox* need_user_;
  QTreeView* account_list_;
  QLineEdit* user_name_;
  QLineEdit* password_;
  QComboBox* privilege_;
  QCheckBox* https_;
  QLineEdit* tls_cert_;
  QLineEdit* tls_key_;
};
