#include "ui/controller.h"

#include "base/errors.h"
#include "settings/store.h"

namespace qlx::ui {

// Connects, and tells the user in a plain box when Explorer could not be
// opened on the new drive; the box comes before any balloon.
void ShellController::ConnectAndTell() {
  mapping_.Connect();
  if (const auto& failure = mapping_.explorer_failure())
    platform_.messages.Show(failure->caption, failure->text, platform::Messages::Kind::Plain);
}

void ShellController::Start(bool another_copy_runs) {
  if (another_copy_runs) {
    windows_.EndAsSecondCopy();
    return;
  }
  windows_.HideDialog();
  LoadIntoDialog();
  if (settings_.auto_connect) {
    mapping_.Disconnect();
    platform_.clock.Pause(kStartReconnectPauseMs);
    // A disconnect with no drive stored leaves the flag as it was.
    if (!mapping_.connected()) ConnectAndTell();
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
  platform_.clock.Pause(kTrayReconnectPauseMs);
  ConnectAndTell();
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
  settings::SaveSettings(platform_.registry, platform_.program, settings_);
  LoadIntoDialog();
}

void ShellController::Save() {
  TakeDialogValues();
  settings::SaveSettings(platform_.registry, platform_.program, settings_);
  windows_.CloseDialog();
}

void ShellController::ConnectFromDialog() {
  // Only what is stored: unsaved edits are dropped first.
  LoadIntoDialog();
  mapping_.Disconnect();
  ConnectAndTell();
}

void ShellController::Cancel() { windows_.CloseDialog(); }

void ShellController::TakeDialogValues() {
  settings_ = windows_.ReadDialog();
}

void ShellController::LoadIntoDialog() {
  settings::LoadSettings(platform_.registry, settings_);
  windows_.FillDialog(settings_);
}

}  // namespace qlx::ui
