#include "server/app/tray_mode.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>

#include "platform/open_url.h"
#include "platform/stop_signal.h"
#include "server/app/console_mode.h"
#include "server/app/lumenvale_server.h"
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

// The Qt platform plug-ins to try, so that a display that cannot be reached ends in the
// offscreen plug-in (no tray: console mode) instead of aborting the process.
void SetPlatformFallback() {
  if (std::getenv("QT_QPA_PLATFORM") != nullptr) return;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  qputenv("QT_QPA_PLATFORM",
          wayland != nullptr && *wayland != '\0' ? "wayland;xcb;offscreen" : "xcb;offscreen");
}

// The server stepped from the event loop. Each step waits at most a few milliseconds for
// socket work when idle, so the loop keeps turning without spinning a core, and the tray's
// own events are handled between steps.
class TrayServerLoop {
 public:
  explicit TrayServerLoop(LumenvaleServer* server) : server_(server) {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (platform::StopSignalled()) {
        QApplication::quit();
        return;
      }
      server_->Step();
    });
    timer_.start();
  }

 private:
  LumenvaleServer* server_;
  QTimer timer_;
};

}  // namespace

bool HasGraphicalSession() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

void FillTrayMenu(QMenu* menu, const std::function<std::string()>& base_address,
                  const std::function<void(const std::string&)>& open,
                  const std::function<void()>& quit) {
  for (const TrayMenuEntry& entry : kTrayMenuEntries) {
    std::string path = entry.path;
    menu->addAction(QString::fromUtf8(entry.text),
                    [base_address, open, path] { open(base_address() + path); });
  }
  menu->addSeparator();
  menu->addAction(QString::fromUtf8(kTrayExitText), quit);
}

bool RunTray(const ServerSettings& settings, int argc, char** argv, int* exit_status) {
  SetPlatformFallback();
  QApplication app(argc, argv);
  if (QGuiApplication::platformName() == "offscreen" || !QSystemTrayIcon::isSystemTrayAvailable()) {
    return false;
  }
  QApplication::setQuitOnLastWindowClosed(false);
  platform::CatchStopSignals();
  LumenvaleServer server(settings);
  if (!StartAndAnnounce(server, settings)) {
    *exit_status = 1;
    return true;
  }
  auto base_address = [&server] { return server.BaseAddress(); };
  auto open = [](const std::string& url) { platform::OpenUrl(url); };

  QMenu menu;
  FillTrayMenu(&menu, base_address, open, [] { QApplication::quit(); });
  QSystemTrayIcon icon(GalleryIcon());
  icon.setToolTip(QString::fromUtf8(TrayTooltip(settings.title, settings.port)));
  icon.setContextMenu(&menu);
  QObject::connect(&icon, &QSystemTrayIcon::activated,
                   [&](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::DoubleClick) open(base_address());
                   });
  icon.show();

  TrayServerLoop loop(&server);
  QApplication::exec();
  icon.hide();
  server.Stop();
  *exit_status = 0;
  return true;
}
