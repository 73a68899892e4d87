// The anchor of the editor's start: a Qt Widgets program that shows an empty dialog.
#include <QApplication>
#include <QDialog>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Empty dialog"));
  dialog.show();
  return app.exec();
}
