#include "ui/controller.h"

#include "base/errors.h"
#include "base/wipe.h"
#include "platform/context.h"
#include "settings/store.h"

namespace qlx::ui {

void ShellController::Start(bool another_copy_runs) {
  if (another_copy_runs) {
    windows_.EndAsSecondCopy();
    return;
  }
  windows_.HideDialog();
  LoadIntoDialog();
  if (settings_.auto_connect) {
    mapping_.Disconnect();
    platform::Pause(kStartReconnectPauseMs);
    // A disconnect with no drive stored leaves the flag as it was.
    if (!mapping_.connected()) mapping_.Connect();
  }
  // A failed connection at start-up is silent.
  if (mapping_.connected()) windows_.ShowBalloon(kConnectedText);
}

void ShellController::OpenSettings() {
  // Also while the dialog's opening error box is up, before the dialog is
  // visible: a second modal loop on the same dialog could never be left.
  if (dialog_open_) throw Error(kAlreadyOpenText);
  dialog_open_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{dialog_open_};
  windows_.ShowDialogModal();
}

void ShellController::Connect() {
  mapping_.Disconnect();
  platform::Pause(kTrayReconnectPauseMs);
  mapping_.Connect();
  windows_.ShowBalloon(mapping_.connected() ? kConnectedText : kConnectFailedText);
}

void ShellController::Disconnect() { mapping_.Disconnect(); }

void ShellController::Exit() {
  mapping_.Disconnect();
  windows_.Quit();
}

void ShellController::DialogOpening() { LoadIntoDialog(); }

void ShellController::Apply() {
  TakeDialogValues();
  settings::SaveSettings(settings_);
  LoadIntoDialog();
}

void ShellController::Save() {
  TakeDialogValues();
  settings::SaveSettings(settings_);
  windows_.CloseDialog();
}

void ShellController::ConnectFromDialog() {
  // Only what is stored: unsaved edits are dropped first.
  LoadIntoDialog();
  mapping_.Disconnect();
  mapping_.Connect();
}

void ShellController::Cancel() { windows_.CloseDialog(); }

void ShellController::TakeDialogValues() {
  const settings::ConnectionSettings values = windows_.ReadDialog();
  SecureWipe(settings_.password);
  settings_ = values;
}

void ShellController::LoadIntoDialog() {
  settings::LoadSettings(settings_);
  windows_.FillDialog(settings_);
}

}  // namespace qlx::ui
