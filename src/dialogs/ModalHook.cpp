#include "dialogs/ModalHook.h"

#include <QDialog>
#include <utility>

namespace {
TModalHook& Hook() {
  static TModalHook hook;
  return hook;
}
}  // namespace

void SetModalHook(TModalHook hook) {
  Hook() = std::move(hook);
}

int ExecModal(QDialog& dialog) {
  if (Hook()) {
    // A copy: the hook may replace itself while it runs.
    const TModalHook hook = Hook();
    const int result = hook(dialog);
    dialog.setResult(result);
    return result;
  }
  return dialog.exec();
}
