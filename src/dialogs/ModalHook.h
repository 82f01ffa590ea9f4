#pragma once

#include <functional>

class QDialog;

// Every modal dialog the report window shows goes through ExecModal, so a
// test can stand in for the user: the hook gets the dialog, fills it in as a
// user would and returns the result the dialog would have closed with
// (QDialog::Accepted, 1, for OK). Without a hook the dialog runs normally.
using TModalHook = std::function<int(QDialog& dialog)>;

void SetModalHook(TModalHook hook);
int ExecModal(QDialog& dialog);
