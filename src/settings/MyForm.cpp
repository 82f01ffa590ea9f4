#include "settings/MyForm.h"

TMyForm::TMyForm(QWidget* owner, const QString& root, const QString& section)
    : TPlacedWindow<QDialog>(owner, root, section) {}

TMyForm::~TMyForm() = default;
