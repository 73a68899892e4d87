#include "editor/main_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/config/password_hash.h"
#include "common/config/server_settings.h"
#include "editor/dialog_ids.h"
#include "platform/testing/test_folder.h"

namespace ids = dialog_ids;

// fontconfig keeps its font cache for the life of the process; under LeakSanitizer that is
// not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

// Qt's font and image threads synchronise through atomics inside the uninstrumented Qt
// libraries, which ThreadSanitizer cannot see; the dialog itself runs on one thread.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\nrace:libQt6Gui.so\n";
}

namespace {

using testing::ElementsAre;

// One application for the whole test binary, on the offscreen platform.
bool EnsureApplication() {
  static int argc = 1;
  static char name[] = "editor_dialog_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
  }
  return true;
}

template <typename Widget = QWidget>
Widget* Control(const QWidget& dialog, int id) {
  auto* widget = dialog.findChild<Widget*>(QString::number(id));
  EXPECT_NE(widget, nullptr) << id;
  return widget;
}

// "[caption] text (icon: buttons)", the default button marked with "*".
std::string Describe(QMessageBox* box) {
  const std::pair<QMessageBox::Icon, const char*> icons[] = {{QMessageBox::NoIcon, "no icon"},
                                                             {QMessageBox::Warning, "warning"},
                                                             {QMessageBox::Question, "question"}};
  std::string icon = "other icon";
  for (const auto& [value, name] : icons) {
    if (box->icon() == value) icon = name;
  }
  std::string buttons;
  const std::pair<QMessageBox::StandardButton, const char*> kinds[] = {
      {QMessageBox::Ok, "OK"},
      {QMessageBox::Yes, "Yes"},
      {QMessageBox::No, "No"},
      {QMessageBox::Cancel, "Cancel"}};
  for (const auto& [kind, name] : kinds) {
    if (!(box->standardButtons() & kind)) continue;
    buttons +=
        std::string(buttons.empty() ? "" : " ") + name +
        (static_cast<QAbstractButton*>(box->defaultButton()) == box->button(kind) ? "*" : "");
  }
  return "[" + box->windowTitle().toStdString() + "] " + box->text().toStdString() + " (" + icon +
         ": " + buttons + ")";
}

// Answers the modal windows that `action` opens, one handler each, in order, and returns what
// was shown: the message boxes described, a file dialog as "file dialog: " + its filters.
class ModalScript {
 public:
  ModalScript() = default;
  ModalScript(const ModalScript&) = delete;  // the handlers write to this object

  // Clicks `button` of a message box.
  ModalScript& Click(QMessageBox::StandardButton button) {
    handlers_.push_back([this, button](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr) return Unexpected(modal);
      shown_.push_back(Describe(box));
      box->button(button)->click();
    });
    return *this;
  }
  // Chooses `path` in a file dialog (or a folder picker), or cancels it when `path` is empty.
  ModalScript& Choose(const std::string& path) {
    handlers_.push_back([this, path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog == nullptr) return Unexpected(modal);
      shown_.push_back("file dialog: " + dialog->nameFilters().join(";").toStdString());
      if (path.empty()) return dialog->reject();
      dialog->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog checks the choice first
    });
    return *this;
  }
  ModalScript& Then(std::function<void(QWidget*)> handler) {
    handlers_.push_back(std::move(handler));
    return *this;
  }

  std::vector<std::string> Run(const std::function<void()>& action) {
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal->property("answered").toBool()) return;
      modal->setProperty("answered", true);
      if (next_ < handlers_.size()) return handlers_[next_++](modal);
      Unexpected(modal);
    });
    timer.start(5);
    action();
    EXPECT_EQ(next_, handlers_.size()) << "windows left unanswered";
    return shown_;
  }

 private:
  void Unexpected(QWidget* modal) {
    ADD_FAILURE() << "unexpected window: " << modal->metaObject()->className() << " "
                  << modal->windowTitle().toStdString();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) shown_.push_back(Describe(box));
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  }

  std::vector<std::function<void(QWidget*)>> handlers_;
  size_t next_ = 0;
  std::vector<std::string> shown_;
};

std::vector<std::string> ClickAndAnswer(const QWidget& dialog, int id, ModalScript& script) {
  return script.Run([&] { Control<QAbstractButton>(dialog, id)->click(); });
}

std::string Cell(const QTreeView* view, int row, int column) {
  return view->model()->data(view->model()->index(row, column)).toString().toStdString();
}

class MainDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(SCREENSHOT_DIR);
    dialog_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog_));
  }

  bool application_ = EnsureApplication();  // before any widget
  CMainDlg dialog_;
  TestFolder folder_;
};

TEST_F(MainDlgTest, EveryControlHasItsTextAndFitsIt) {
  EXPECT_EQ(dialog_.windowTitle(), "Lumenvale Config Editor");
  EXPECT_EQ(dialog_.minimumSize(), dialog_.maximumSize()) << "the dialog must not be resizable";

  const std::pair<int, const char*> buttons[] = {
      {ids::kAddFolder, "フォルダを追加(&F)"},
      {ids::kDeleteFolders, "削除(&D)"},
      {ids::kSub, "サブフォルダ検索する(&U)"},
      {ids::kZipReject, "ZIPの読み取りをしない(&Z)"},
      {ids::kBrowseDatabase, "参照(&R)"},
      {ids::kSortWindows, "ファイル名順をWindows式にする(&W)"},
      {ids::kResetStandbyAccess, "アクセスでスタンバイモードへのカウントをリセット(&R)"},
      {ids::kZipRejectUpload, "ZIPのアップロードを禁止する(&I)"},
      {ids::kShowFullpath, "画像のフルパスを表示する"},
      {ids::kOpenNewTab, "サムネイルから別タブで開くようにする"},
      {ids::kOpenNameThumbnailFolder,
       "フォルダ先頭モードでサムネイルから個別の画像ページを開くときに、名前順または更新日順モード"
       "で開くようにする"},
      {ids::kTopFolder, "標準をフォルダ先頭(名前)にする"},
      {ids::kUpnp, "ポート自動開放する(&U)"},
      {ids::kNeedUser, "アクセスにユーザー名,パスワードを求める(&P)"},
      {ids::kAddAccount, "ユーザーを追加(&U)"},
      {ids::kDeleteAccounts, "削除(&D)"},
      {ids::kInstallService, "サービスとしてインストール"},
      {ids::kUninstallService, "サービスとしてアンインストール"},
      {ids::kHttps, "HTTPSで暗号化する(&H)"},
      {ids::kBrowseTlsCert, "参照(&C)"},
      {ids::kBrowseTlsKey, "参照(&K)"},
      {ids::kSave, "セーブ(&S)"},
      {ids::kLoad, "ロード(&L)"},
      {ids::kCancel, "Cancel"},
      {ids::kAbout, "&About"},
  };
  for (const auto& [id, text] : buttons) {
    auto* button = Control<QAbstractButton>(dialog_, id);
    EXPECT_EQ(button->text().toStdString(), text) << id;
    EXPECT_FALSE(button->isCheckable() && button->isChecked()) << id;
  }
  EXPECT_TRUE(Control<QPushButton>(dialog_, ids::kSave)->isDefault());

  const std::pair<int, const char*> edits[] = {
      {ids::kTitle, "Lumenvale"}, {ids::kPort, "12345"}, {ids::kDatabase, ""}, {ids::kUpnpPort, ""},
      {ids::kUserName, ""},       {ids::kPassword, ""},  {ids::kTlsCert, ""},  {ids::kTlsKey, ""}};
  for (const auto& [id, text] : edits) {
    EXPECT_EQ(Control<QLineEdit>(dialog_, id)->text().toStdString(), text) << id;
  }
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kPassword)->echoMode(), QLineEdit::Password);
  for (int id : {ids::kPort, ids::kUpnpPort}) {
    auto* edit = Control<QLineEdit>(dialog_, id);
    edit->clear();
    QTest::keyClicks(edit, "8a0-8 0");
    EXPECT_EQ(edit->text(), "8080") << "numbers only in " << id;
  }

  auto* privilege = Control<QComboBox>(dialog_, ids::kPrivilege);
  ASSERT_EQ(privilege->count(), 2);
  EXPECT_EQ(privilege->itemText(0), "0:通常");
  EXPECT_EQ(privilege->itemText(1), "1:アップロードを許可");
  EXPECT_EQ(privilege->currentIndex(), 0);

  auto* folders = Control<QTreeView>(dialog_, ids::kFolderList);
  auto* accounts = Control<QTreeView>(dialog_, ids::kAccountList);
  EXPECT_EQ(folders->model()->headerData(0, Qt::Horizontal).toString(), "フォルダ名");
  EXPECT_EQ(folders->columnWidth(0), 300);
  EXPECT_EQ(accounts->model()->headerData(0, Qt::Horizontal).toString(), "ユーザー名");
  EXPECT_EQ(accounts->model()->headerData(1, Qt::Horizontal).toString(), "権限");
  EXPECT_EQ(accounts->columnWidth(0), 200);
  EXPECT_EQ(accounts->columnWidth(1), 200);
  for (QTreeView* list : {folders, accounts}) {
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  }

  std::vector<std::string> labels;
  for (QLabel* label : dialog_.findChildren<QLabel*>()) {
    labels.push_back(label->text().toStdString());
  }
  EXPECT_THAT(labels,
              testing::UnorderedElementsAre(
                  "タイトル", "ポート番号", "保存するデータベースファイル名(空欄でデフォルト名)",
                  "外部からのポート番号", "ユーザー名", "パスワード", "権限",
                  "証明書と秘密鍵(PEM、空欄で自己署名証明書を作成)", "証明書", "秘密鍵"));

  // Groups hold their controls.
  const std::pair<const char*, std::vector<int>> groups[] = {
      {"ポート開放設定(UPnP)", {ids::kUpnp, ids::kUpnpPort}},
      {"ユーザー認証設定",
       {ids::kNeedUser, ids::kAccountList, ids::kUserName, ids::kPassword, ids::kPrivilege,
        ids::kAddAccount, ids::kDeleteAccounts}},
      {"HTTPS設定",
       {ids::kHttps, ids::kTlsCert, ids::kBrowseTlsCert, ids::kTlsKey, ids::kBrowseTlsKey}},
      {"サービス", {ids::kInstallService, ids::kUninstallService}}};
  const QList<QGroupBox*> boxes = dialog_.findChildren<QGroupBox*>();
  ASSERT_EQ(boxes.size(), 4u);
  for (const auto& [title, members] : groups) {
    auto box = std::find_if(boxes.begin(), boxes.end(),
                            [&](QGroupBox* b) { return b->title().toStdString() == title; });
    ASSERT_NE(box, boxes.end()) << title;
    for (int id : members) EXPECT_TRUE((*box)->isAncestorOf(Control(dialog_, id))) << id;
  }

  // Nothing is cut off: every text gets at least the width it asks for.
  for (QWidget* widget : dialog_.findChildren<QWidget*>()) {
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLabel*>(widget)) {
      EXPECT_GE(widget->width(), widget->sizeHint().width()) << widget->objectName().toStdString();
    }
  }
}

TEST_F(MainDlgTest, LoadEditAndSaveRoundTrip) {
  EditorSettings original;
  original.folders = {"/srv/a", "/srv/b"};
  original.port = 8080;
  original.sub = true;
  original.title = "Gallery";
  original.upnp_port = 8081;
  original.users = {{"anna", "0123456789abcdef0123456789abcdef", 0}};
  original.tls_key = "/etc/ssl/gallery/privkey.pem";
  const std::string path = folder_.Path("in.con");
  ASSERT_TRUE(original.write(path));

  EXPECT_THAT(ClickAndAnswer(dialog_, ids::kLoad, ModalScript().Choose(path)),
              ElementsAre("file dialog: conファイル(con) (*.con)"));
  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Lumenvale Config Editor - " + path);
  auto* folders = Control<QTreeView>(dialog_, ids::kFolderList);
  auto* accounts = Control<QTreeView>(dialog_, ids::kAccountList);
  ASSERT_EQ(folders->model()->rowCount(), 2);
  EXPECT_EQ(Cell(folders, 1, 0), "/srv/b");
  EXPECT_EQ(Cell(folders, 2, 0), "") << "rows beyond the list are not answered";
  ASSERT_EQ(accounts->model()->rowCount(), 1);
  EXPECT_EQ(Cell(accounts, 0, 0), "anna");
  EXPECT_EQ(Cell(accounts, 0, 1), "0:通常");
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kDatabase)->text(), "hash.8080.dat");
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kPort)->text(), "8080");
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kUpnpPort)->text(), "8081");
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kTitle)->text(), "Gallery");
  EXPECT_TRUE(Control<QAbstractButton>(dialog_, ids::kSub)->isChecked());
  EXPECT_FALSE(Control<QAbstractButton>(dialog_, ids::kNeedUser)->isChecked());
  EXPECT_FALSE(Control<QAbstractButton>(dialog_, ids::kHttps)->isChecked());
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kTlsKey)->text(), "/etc/ssl/gallery/privkey.pem");

  EXPECT_TRUE(dialog_.grab().save(SCREENSHOT_DIR "/quillon_main_dialog.png"));

  // Accounts: an existing name is changed, a new one added.
  auto* title = Control<QLineEdit>(dialog_, ids::kTitle);
  title->setText("休日の写真");
  Control<QComboBox>(dialog_, ids::kPrivilege)->setCurrentIndex(1);
  Control<QLineEdit>(dialog_, ids::kUserName)->setText("anna");
  Control<QLineEdit>(dialog_, ids::kPassword)->setText("secret pw");
  Control<QAbstractButton>(dialog_, ids::kAddAccount)->click();
  // The fields are cleared for the next user; the right stays as chosen.
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kUserName)->text(), "");
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kPassword)->text(), "");
  EXPECT_EQ(Control<QComboBox>(dialog_, ids::kPrivilege)->currentIndex(), 1);
  Control<QLineEdit>(dialog_, ids::kUserName)->setText("ボブ");
  Control<QAbstractButton>(dialog_, ids::kAddAccount)->click();
  ASSERT_EQ(accounts->model()->rowCount(), 2);
  EXPECT_EQ(Cell(accounts, 0, 1), "1:アップロードを許可");
  EXPECT_EQ(Cell(accounts, 1, 0), "ボブ");
  accounts->selectionModel()->select(accounts->model()->index(1, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  Control<QAbstractButton>(dialog_, ids::kDeleteAccounts)->click();
  EXPECT_EQ(accounts->model()->rowCount(), 1);

  // Folders: the first removed, one added with the picker.
  folders->selectionModel()->select(folders->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  Control<QAbstractButton>(dialog_, ids::kDeleteFolders)->click();
  EXPECT_THAT(ClickAndAnswer(dialog_, ids::kAddFolder, ModalScript().Choose(folder_.Root())),
              ElementsAre("file dialog: All Files (*)"));
  ASSERT_EQ(folders->model()->rowCount(), 2);
  EXPECT_EQ(Cell(folders, 0, 0), "/srv/b");
  EXPECT_EQ(Cell(folders, 1, 0), folder_.Root());

  // HTTPS on, with a certificate chosen by its browse button.
  Control<QAbstractButton>(dialog_, ids::kHttps)->click();
  const std::string chain = folder_.Write("fullchain.pem", "chain");
  EXPECT_THAT(ClickAndAnswer(dialog_, ids::kBrowseTlsCert, ModalScript().Choose(chain)),
              ElementsAre("file dialog: pemファイル(pem) (*.pem);すべてのファイル (*)"));
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kTlsCert)->text().toStdString(), chain);

  // UPnP on without authentication, and an empty port.
  Control<QLineEdit>(dialog_, ids::kPort)->clear();
  Control<QAbstractButton>(dialog_, ids::kUpnp)->click();
  const std::string saved = folder_.Path("out.con");
  EXPECT_THAT(
      ClickAndAnswer(dialog_, ids::kSave,
                     ModalScript()
                         .Click(QMessageBox::Ok)
                         .Click(QMessageBox::Ok)
                         .Choose(saved)
                         .Click(QMessageBox::Ok)
                         .Click(QMessageBox::Ok)),
      ElementsAre("[確認] UPNPを有効にしてインターネットからアクセス可能にしますが宜しいですか? "
                  "(warning: OK Cancel*)",
                  "[確認] アクセスにユーザー名パスワードが不要になっていますが宜しいですか? "
                  "(warning: OK Cancel*)",
                  "file dialog: conファイル(con) (*.con)",
                  "[情報] ポート番号が0以下だったので通常の12345になりました。 (no icon: OK*)",
                  "[情報] 設定ファイルの保存が完了しました。\n" + saved + " (no icon: OK*)"));
  EXPECT_FALSE(dialog_.isVisible()) << "a completed save closes the editor";
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);

  ServerSettings server;
  ASSERT_TRUE(server.load(saved));
  EXPECT_THAT(server.folders, ElementsAre("/srv/b", folder_.Root()));
  EXPECT_EQ(server.port, 12345);
  EXPECT_EQ(server.title, "休日の写真");
  EXPECT_EQ(server.hash_file_name, "hash.8080.dat");
  EXPECT_EQ(server.sub, 1u);
  EXPECT_EQ(server.upnp, 1u);
  EXPECT_EQ(server.upnp_port, 8081);
  EXPECT_EQ(server.need_user, 0);
  EXPECT_EQ(server.https, 1u);
  EXPECT_EQ(server.tls_cert, chain);
  EXPECT_EQ(server.tls_key, "/etc/ssl/gallery/privkey.pem");
  ASSERT_EQ(server.users.size(), 1u);
  std::string hash;
  ASSERT_TRUE(PasswordHash("anna", "secret pw", &hash));
  EXPECT_EQ(server.users[0].hash, hash);
  EXPECT_EQ(server.users[0].privilege, 1);
}

TEST_F(MainDlgTest, RefusedCommandsKeepTheDialogOpen) {
  Control<QAbstractButton>(dialog_, ids::kNeedUser)->click();
  EXPECT_THAT(
      ClickAndAnswer(
          dialog_, ids::kSave,
          ModalScript().Click(QMessageBox::Ok).Click(QMessageBox::Ok).Click(QMessageBox::Ok)),
      ElementsAre("[情報] 検索するフォルダが設定されていません。\n検索フォルダを設定して下さい。 "
                  "(no icon: OK*)",
                  "[確認] アクセス可能なユーザーが設定されていません。\nユーザー名パスワードと"
                  "権限を設定して下さい。 (warning: OK*)",
                  "[情報] 設定ファイルの保存が中断されました。 (no icon: OK*)"));
  EXPECT_THAT(ClickAndAnswer(dialog_, ids::kAddAccount, ModalScript().Click(QMessageBox::Ok)),
              ElementsAre("[] ユーザー名が設定されていません (no icon: OK*)"));
  // As root the service commands ask for the server program first; cancelled, nothing happens.
  if (IsAdministrator()) {
    EXPECT_THAT(ClickAndAnswer(dialog_, ids::kInstallService, ModalScript().Choose("")),
                ElementsAre("file dialog: lumenvaleファイル (*lumenvale)"));
  }
  EXPECT_TRUE(dialog_.isVisible());
  Control<QAbstractButton>(dialog_, ids::kCancel)->click();
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), QDialog::Rejected);
}

// `quillon FILE` opens the dialog on FILE this way.
TEST_F(MainDlgTest, FileNamedOnTheCommandLineIsLoadedAsTheLoadButtonLoadsIt) {
  const std::string path = folder_.Write("named.con", "<PATH>/named</PATH><PORT>3</PORT>");
  dialog_.Open(path);
  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Lumenvale Config Editor - " + path);
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kPort)->text(), "3");
  EXPECT_EQ(Cell(Control<QTreeView>(dialog_, ids::kFolderList), 0, 0), "/named");
}

TEST_F(MainDlgTest, DroppedFilesLoadInOrderAndAboutBoxCloses) {
  const std::string first = folder_.Write("first.con", "<PATH>/one</PATH><PORT>1</PORT>");
  const std::string second = folder_.Write("second.CON", "<PATH>/two</PATH><PORT>2</PORT>");
  const std::string other = folder_.Write("third.txt", "<PATH>/three</PATH>");
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(first)),
                 QUrl::fromLocalFile(QString::fromStdString(second)),
                 QUrl::fromLocalFile(QString::fromStdString(other))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&dialog_, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&dialog_, &drop);
  EXPECT_EQ(dialog_.windowTitle().toStdString(), "Lumenvale Config Editor - " + second);
  EXPECT_EQ(Control<QLineEdit>(dialog_, ids::kPort)->text(), "2");
  EXPECT_EQ(Cell(Control<QTreeView>(dialog_, ids::kFolderList), 0, 0), "/two");

  std::string about;
  ClickAndAnswer(dialog_, ids::kAbout, ModalScript().Then([&](QWidget* box) {
    about = box->windowTitle().toStdString() + ": " +
            box->findChild<QLabel*>("text")->text().toStdString();
    EXPECT_TRUE(box->grab().save(SCREENSHOT_DIR "/quillon_about.png"));
    box->findChild<QAbstractButton*>("1")->click();
  }));
  EXPECT_EQ(about, "About: LumenvaleConfig Application v1.2.5.1");
}

}  // namespace
