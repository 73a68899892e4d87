#include "server/app/tray_mode.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include "server/app/tray_menu.h"

namespace {

// A framed picture of a hill under a sun, drawn at the tray's usual sizes.
QIcon GalleryIcon() {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    qreal unit = size / 16.0;
    QRectF frame(unit, 2 * unit, 14 * unit, 12 * unit);
    painter.setPen(QPen(QColor(0x33, 0x33, 0x33), unit));
    painter.setBrush(QColor(0x8e, 0xc8, 0xf0));
    painter.drawRoundedRect(frame, unit, unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf5, 0xc0, 0x1a));
    painter.drawEllipse(QPointF(11 * unit, 6 * unit), 1.6 * unit, 1.6 * unit);
    painter.setBrush(QColor(0x3a, 0x8f, 0x3a));
    QPolygonF hill;
    hill << QPointF(1.5 * unit, 13.5 * unit) << QPointF(6 * unit, 7 * unit)
         << QPointF(10 * unit, 11 * unit) << QPointF(12 * unit, 9.5 * unit)
         << QPointF(14.5 * unit, 13.5 * unit);
    painter.drawPolygon(hill);
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The server stepped from the event loop. Each step waits at most a few milliseconds for
// socket work when idle, so the loop keeps turning without spinning a core, and the tray's
// own events are handled between steps.
class TrayServerLoop {
 public:
  explicit TrayServerLoop(TrayHost* host) : host_(host) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (host_->StopRequested()) {
        QApplication::quit();
        return;
      }
      host_->Step();
    });
    timer_.start();
  }

 private:
  TrayHost* host_;
  QTimer timer_;
};

}  // namespace

void FillTrayMenu(QMenu* menu, const std::function<std::string()>& base_address,
                  const std::function<std::string()>& public_address,
                  const std::function<void(const std::string&)>& open,
                  const std::function<void()>& quit) {
  for (const TrayMenuEntry& entry : kTrayMenuEntries) {
    std::string path = entry.path;
    menu->addAction(QString::fromUtf8(entry.text),
                    [base_address, open, path] { open(base_address() + path); });
  }
  // The mapping is made after the start, so the entry is brought up to date whenever the
  // menu opens.
  QAction* public_entry = menu->addAction(QString(), [public_address, open] {
    const std::string address = public_address();
    if (!address.empty()) open(address);
  });
  const auto refresh = [public_entry, public_address] {
    const std::string address = public_address();
    public_entry->setText(QString::fromUtf8(kTrayPublicText) + QString::fromStdString(address));
    public_entry->setVisible(!address.empty());
  };
  refresh();
  QObject::connect(menu, &QMenu::aboutToShow, refresh);
  menu->addSeparator();
  menu->addAction(QString::fromUtf8(kTrayExitText), quit);
}

int RunTray(TrayHost* host, int argc, char** argv) {
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() == "offscreen" || !QSystemTrayIcon::isSystemTrayAvailable()) {
    return kNoTray;
  }
  QApplication::setQuitOnLastWindowClosed(false);
  if (!host->Start()) return 1;
  auto base_address = [host] { return host->BaseAddress(); };
  auto open = [host](const std::string& url) { host->Open(url); };

  QMenu menu;
  FillTrayMenu(
      &menu, base_address, [host] { return host->PublicBaseAddress(); }, open,
      [] { QApplication::quit(); });
  QSystemTrayIcon icon(GalleryIcon());
  icon.setToolTip(QString::fromUtf8(host->Tooltip()));
  icon.setContextMenu(&menu);
  QObject::connect(&icon, &QSystemTrayIcon::activated,
                   [&](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::DoubleClick) open(base_address());
                   });
  icon.show();

  TrayServerLoop loop(host);
  QApplication::exec();
  icon.hide();
  host->Stop();
  return 0;
}
