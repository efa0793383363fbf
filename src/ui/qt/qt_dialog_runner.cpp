#include "ui/qt/qt_dialog_runner.h"

#include <QApplication>
#include <QPointer>
#include <exception>

#include "lumenstage/automation_errors.h"
#include "ui/qt/qt_config_dialog.h"

namespace artnet {

int QtDialogRunner::ShowConfigDialog(ConfigDialogServices& services) {
  // A host running a QCoreApplication (or a QGuiApplication) has no widgets.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return lumenstage::kErrNotAvailable.number;

  // Fresh every time, so no list, caption or choice survives an opening.
  QPointer<QtConfigDialog> dialog = new QtConfigDialog(services);
  dialog->exec();  // runs the event loop: output and input go on meanwhile
  std::exception_ptr error;
  if (dialog != nullptr) {
    error = dialog->PendingError();
    delete dialog;
  }
  if (error) std::rethrow_exception(error);
  return 0;
}

}  // namespace artnet
