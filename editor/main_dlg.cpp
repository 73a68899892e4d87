#include "editor/main_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <QVBoxLayout>
#include <tuple>

#include "editor/about_dlg.h"
#include "editor/dialog_ids.h"

namespace ids = dialog_ids;

namespace {

const QString kCaption = QStringLiteral("Lumenvale Config Editor");

template <typename Widget>
Widget* Named(Widget* widget, int id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

QCheckBox* CheckBox(int id, const char* label) {
  return Named(new QCheckBox(QString::fromUtf8(label)), id);
}

QLineEdit* NumberEdit(int id) {
  auto* edit = Named(new QLineEdit, id);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  return edit;
}

// A report-style list with multiple selection; `widths` are its columns' widths.
QTreeView* ListView(int id, QAbstractItemModel* model, std::initializer_list<int> widths) {
  auto* view = Named(new QTreeView, id);
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  int column = 0;
  int total = 0;
  for (int width : widths) {
    view->setColumnWidth(column++, width);
    total += width;
  }
  view->header()->setStretchLastSection(false);
  view->setMinimumWidth(total + 2 * view->frameWidth());
  view->setFixedHeight(120);
  return view;
}

std::vector<int> SelectedRows(const QTreeView* view) {
  std::vector<int> rows;
  for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  return rows;
}

// A label followed by its control on one line.
QHBoxLayout* Labelled(const char* label, QWidget* control) {
  auto* row = new QHBoxLayout;
  auto* text = new QLabel(QString::fromUtf8(label));
  text->setBuddy(control);
  row->addWidget(text);
  row->addWidget(control, 1);
  return row;
}

std::string Text(const QLineEdit* edit) {
  return edit->text().toStdString();
}

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(kCaption);
  setAcceptDrops(true);
  auto* columns = new QHBoxLayout;
  columns->addWidget(SettingsColumn());
  columns->addWidget(AccessColumn());
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(OptionsBlock());
  layout->addWidget(ButtonRow());
  // Not resizable: the window keeps the size its contents ask for.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* CMainDlg::SettingsColumn() {
  title_ = Named(new QLineEdit(QStringLiteral("Lumenvale")), ids::kTitle);
  folder_list_ = ListView(ids::kFolderList, &folder_model_, {300});
  auto* add_folder = Named(new QPushButton(QStringLiteral("フォルダを追加(&F)")), ids::kAddFolder);
  auto* delete_folders = Named(new QPushButton(QStringLiteral("削除(&D)")), ids::kDeleteFolders);
  connect(add_folder, &QPushButton::clicked, this, &CMainDlg::AddFolder);
  connect(delete_folders, &QPushButton::clicked, this, &CMainDlg::DeleteFolders);
  sub_ = CheckBox(ids::kSub, "サブフォルダ検索する(&U)");
  zip_reject_ = CheckBox(ids::kZipReject, "ZIPの読み取りをしない(&Z)");
  port_ = NumberEdit(ids::kPort);
  port_->setText(QStringLiteral("12345"));
  database_ = Named(new QLineEdit, ids::kDatabase);
  auto* browse = Named(new QPushButton(QStringLiteral("参照(&R)")), ids::kBrowseDatabase);
  connect(browse, &QPushButton::clicked, this, &CMainDlg::BrowseDatabase);

  auto* folder_buttons = new QHBoxLayout;
  folder_buttons->addWidget(add_folder);
  folder_buttons->addWidget(delete_folders);
  folder_buttons->addStretch();
  auto* database_row = new QHBoxLayout;
  database_row->addWidget(database_, 1);
  database_row->addWidget(browse);

  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(Labelled("タイトル", title_));
  layout->addWidget(folder_list_);
  layout->addLayout(folder_buttons);
  layout->addWidget(sub_);
  layout->addWidget(zip_reject_);
  layout->addLayout(Labelled("ポート番号", port_));
  layout->addWidget(
      new QLabel(QStringLiteral("保存するデータベースファイル名(空欄でデフォルト名)")));
  layout->addLayout(database_row);
  layout->addStretch();
  return column;
}

QWidget* CMainDlg::AccessColumn() {
  upnp_ = CheckBox(ids::kUpnp, "ポート自動開放する(&U)");
  upnp_port_ = NumberEdit(ids::kUpnpPort);
  auto* upnp_group = new QGroupBox(QStringLiteral("ポート開放設定(UPnP)"));
  auto* upnp_layout = new QVBoxLayout(upnp_group);
  upnp_layout->addWidget(upnp_);
  upnp_layout->addLayout(Labelled("外部からのポート番号", upnp_port_));

  need_user_ = CheckBox(ids::kNeedUser, "アクセスにユーザー名,パスワードを求める(&P)");
  account_list_ = ListView(ids::kAccountList, &account_model_, {200, 200});
  user_name_ = Named(new QLineEdit, ids::kUserName);
  password_ = Named(new QLineEdit, ids::kPassword);
  password_->setEchoMode(QLineEdit::Password);
  privilege_ = Named(new QComboBox, ids::kPrivilege);
  privilege_->addItem(QString::fromStdString(PrivilegeText(0)));
  privilege_->addItem(QString::fromStdString(PrivilegeText(1)));
  privilege_->setCurrentIndex(0);
  auto* add_account =
      Named(new QPushButton(QStringLiteral("ユーザーを追加(&U)")), ids::kAddAccount);
  auto* delete_accounts = Named(new QPushButton(QStringLiteral("削除(&D)")), ids::kDeleteAccounts);
  connect(add_account, &QPushButton::clicked, this, &CMainDlg::AddAccount);
  connect(delete_accounts, &QPushButton::clicked, this, &CMainDlg::DeleteAccounts);

  auto* account_form = new QGridLayout;
  const std::pair<const char*, QWidget*> rows[] = {
      {"ユーザー名", user_name_}, {"パスワード", password_}, {"権限", privilege_}};
  for (int row = 0; row < 3; ++row) {
    auto* label = new QLabel(QString::fromUtf8(rows[row].first));
    label->setBuddy(rows[row].second);
    account_form->addWidget(label, row, 0);
    account_form->addWidget(rows[row].second, row, 1);
  }
  auto* account_buttons = new QHBoxLayout;
  account_buttons->addWidget(add_account);
  account_buttons->addWidget(delete_accounts);
  account_buttons->addStretch();
  auto* user_group = new QGroupBox(QStringLiteral("ユーザー認証設定"));
  auto* user_layout = new QVBoxLayout(user_group);
  user_layout->addWidget(need_user_);
  user_layout->addWidget(account_list_);
  user_layout->addLayout(account_form);
  user_layout->addLayout(account_buttons);

  auto* install = Named(new QPushButton(QStringLiteral("サービスとしてインストール")),
                        ids::kInstallService);
  auto* uninstall = Named(new QPushButton(QStringLiteral("サービスとしてアンインストール")),
                          ids::kUninstallService);
  connect(install, &QPushButton::clicked, this,
          [this] { installer_.Install(editor_.current_path()); });
  connect(uninstall, &QPushButton::clicked, this,
          [this] { installer_.Uninstall(editor_.current_path()); });
  auto* service_group = new QGroupBox(QStringLiteral("サービス"));
  auto* service_layout = new QHBoxLayout(service_group);
  service_layout->addWidget(install);
  service_layout->addWidget(uninstall);

  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(upnp_group);
  layout->addWidget(user_group);
  layout->addWidget(HttpsGroup());
  layout->addWidget(service_group);
  layout->addStretch();
  return column;
}

QWidget* CMainDlg::HttpsGroup() {
  https_ = CheckBox(ids::kHttps, "HTTPSで暗号化する(&H)");
  tls_cert_ = Named(new QLineEdit, ids::kTlsCert);
  tls_key_ = Named(new QLineEdit, ids::kTlsKey);
  auto* group = new QGroupBox(QStringLiteral("HTTPS設定"));
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(https_);
  layout->addWidget(new QLabel(QStringLiteral("証明書と秘密鍵(PEM、空欄で自己署名証明書を作成)")));
  auto* form = new QGridLayout;
  const std::tuple<const char*, QLineEdit*, int, const char*> rows[] = {
      {"証明書", tls_cert_, ids::kBrowseTlsCert, "参照(&C)"},
      {"秘密鍵", tls_key_, ids::kBrowseTlsKey, "参照(&K)"}};
  int row = 0;
  for (const auto& [label_text, edit, browse_id, browse_text] : rows) {
    auto* label = new QLabel(QString::fromUtf8(label_text));
    label->setBuddy(edit);
    auto* browse = Named(new QPushButton(QString::fromUtf8(browse_text)), browse_id);
    connect(browse, &QPushButton::clicked, this, [this, edit = edit] { BrowsePem(edit); });
    form->addWidget(label, row, 0);
    form->addWidget(edit, row, 1);
    form->addWidget(browse, row, 2);
    ++row;
  }
  layout->addLayout(form);
  return group;
}

QWidget* CMainDlg::OptionsBlock() {
  sort_windows_ = CheckBox(ids::kSortWindows, "ファイル名順をWindows式にする(&W)");
  reset_standby_access_ =
      CheckBox(ids::kResetStandbyAccess, "アクセスでスタンバイモードへのカウントをリセット(&R)");
  zip_reject_upload_ = CheckBox(ids::kZipRejectUpload, "ZIPのアップロードを禁止する(&I)");
  show_fullpath_ = CheckBox(ids::kShowFullpath, "画像のフルパスを表示する");
  open_new_tab_ = CheckBox(ids::kOpenNewTab, "サムネイルから別タブで開くようにする");
  open_name_thumbnail_folder_ = CheckBox(ids::kOpenNameThumbnailFolder,
                                         "フォルダ先頭モードでサムネイルから個別の画像ページを開く"
                                         "ときに、名前順または更新日順モードで開くようにする");
  top_folder_ = CheckBox(ids::kTopFolder, "標準をフォルダ先頭(名前)にする");
  auto* block = new QWidget;
  auto* layout = new QVBoxLayout(block);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* box : {sort_windows_, reset_standby_access_, zip_reject_upload_, show_fullpath_,
                       open_new_tab_, open_name_thumbnail_folder_, top_folder_}) {
    layout->addWidget(box);
  }
  return block;
}

QWidget* CMainDlg::ButtonRow() {
  auto* save = Named(new QPushButton(QStringLiteral("セーブ(&S)")), ids::kSave);
  auto* load = Named(new QPushButton(QStringLiteral("ロード(&L)")), ids::kLoad);
  auto* cancel = Named(new QPushButton(QStringLiteral("Cancel")), ids::kCancel);
  auto* about = Named(new QPushButton(QStringLiteral("&About")), ids::kAbout);
  connect(save, &QPushButton::clicked, this, &CMainDlg::Save);
  connect(load, &QPushButton::clicked, this, &CMainDlg::Load);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(about, &QPushButton::clicked, this, &CMainDlg::About);
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(about);
  layout->addStretch();
  row->setParent(this);  // a default button is the default of the dialog it is in
  save->setDefault(true);
  layout->addWidget(save);
  layout->addWidget(load);
  layout->addWidget(cancel);
  return row;
}

void CMainDlg::ShowLoaded(const EditorSettings& settings) {
  setWindowTitle(kCaption + " - " + PathToQt(editor_.current_path()));
  title_->setText(QString::fromStdString(settings.title));
  folder_model_.Refresh();
  account_model_.Refresh();
  database_->setText(PathToQt(settings.hash_file_name));
  const std::pair<QCheckBox*, bool> boxes[] = {
      {sort_windows_, settings.sort_windows},
      {reset_standby_access_, settings.reset_standby_access},
      {sub_, settings.sub},
      {need_user_, settings.need_user},
      {upnp_, settings.upnp},
      {zip_reject_, settings.zip_reject},
      {zip_reject_upload_, settings.zip_reject_upload},
      {show_fullpath_, settings.show_fullpath},
      {open_new_tab_, settings.open_new_tab},
      {open_name_thumbnail_folder_, settings.open_name_thumbnail_folder},
      {top_folder_, settings.top_folder},
      {https_, settings.https}};
  for (const auto& [box, checked] : boxes) box->setChecked(checked);
  port_->setText(QString::number(static_cast<uint16_t>(settings.port)));
  tls_cert_->setText(PathToQt(settings.tls_cert));
  tls_key_->setText(PathToQt(settings.tls_key));
  if (settings.upnp_port != 0) {
    upnp_port_->setText(QString::number(static_cast<uint16_t>(settings.upnp_port)));
  }
}

EditorSettings CMainDlg::ControlValues() const {
  EditorSettings values;
  values.title = Text(title_);
  values.port = NumberFromText(Text(port_));
  values.hash_file_name = PathFromQt(database_->text());
  values.sub = sub_->isChecked();
  values.sort_windows = sort_windows_->isChecked();
  values.reset_standby_access = reset_standby_access_->isChecked();
  values.show_fullpath = show_fullpath_->isChecked();
  values.open_new_tab = open_new_tab_->isChecked();
  values.open_name_thumbnail_folder = open_name_thumbnail_folder_->isChecked();
  values.top_folder = top_folder_->isChecked();
  values.zip_reject = zip_reject_->isChecked();
  values.zip_reject_upload = zip_reject_upload_->isChecked();
  values.upnp = upnp_->isChecked();
  values.upnp_port = NumberFromText(Text(upnp_port_));
  values.need_user = need_user_->isChecked();
  values.https = https_->isChecked();
  values.tls_cert = PathFromQt(tls_cert_->text());
  values.tls_key = PathFromQt(tls_key_->text());
  return values;
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(PathFromQt(url.toLocalFile()));
  }
  EditorSettings loaded;
  if (editor_.LoadDropped(paths, &loaded)) ShowLoaded(loaded);
  event->acceptProposedAction();
}

void CMainDlg::AddFolder() {
  if (editor_.ChooseAndAddFolder()) folder_model_.Refresh();
}

void CMainDlg::DeleteFolders() {
  editor_.RemoveFolders(SelectedRows(folder_list_));
  folder_model_.Refresh();
}

void CMainDlg::BrowseDatabase() {
  std::string path;
  if (editor_.ChooseDatabaseFile(PathFromQt(database_->text()), &path)) {
    database_->setText(PathToQt(path));
  }
}

void CMainDlg::BrowsePem(QLineEdit* edit) {
  std::string path;
  if (editor_.ChoosePemFile(PathFromQt(edit->text()), &path)) edit->setText(PathToQt(path));
}

void CMainDlg::AddAccount() {
  if (editor_.AddOrChangeAccount(Text(user_name_), Text(password_),
                                 std::max(0, privilege_->currentIndex()))) {
    account_model_.Refresh();
    // Cleared, so the next user does not start from this one's name and password.
    user_name_->clear();
    password_->clear();
  }
}

void CMainDlg::DeleteAccounts() {
  editor_.RemoveAccounts(SelectedRows(account_list_));
  account_model_.Refresh();
}

void CMainDlg::Load() {
  EditorSettings loaded;
  if (editor_.ChooseAndLoad(&loaded)) ShowLoaded(loaded);
}

void CMainDlg::Open(const std::string& path) {
  ShowLoaded(editor_.Load(path));
}

void CMainDlg::Save() {
  if (editor_.Save(ControlValues())) accept();
}

void CMainDlg::About() {
  CAboutDlg(this).exec();
}
