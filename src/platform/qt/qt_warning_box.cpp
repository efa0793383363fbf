#include "platform/qt/qt_warning_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

namespace artnet {

void QtWarningBox::ShowCritical(const std::string& text) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return;
  }
  // No caption of its own: the title bar shows the application's name.
  QMessageBox box(QMessageBox::Critical, QString(), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok);
  box.setWindowTitle(QGuiApplication::applicationDisplayName());
  box.exec();
}

}  // namespace artnet
