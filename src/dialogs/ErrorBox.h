#pragma once

#include <QString>

class QWidget;

// The caption of the program's message boxes.
QString ApplicationTitle();

// The standard error box: the message followed by a full stop, the error
// icon, one OK button and the application's title as caption.
void ShowErrorBox(const QString& message, QWidget* parent = nullptr);

// The text the last error box showed (empty when none has been shown), so a
// caller can tell what the user was told.
QString LastErrorText();
void ClearLastErrorText();
