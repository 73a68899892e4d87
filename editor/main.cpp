// Quillon, the Lumenvale configuration editor: `quillon` opens its dialog with the defaults.
#include <QApplication>

#include "editor/main_dlg.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CMainDlg dialog;
  dialog.show();
  return app.exec();
}
