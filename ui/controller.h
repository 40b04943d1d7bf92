#pragma once
// What the program does when the user acts, apart from the windows: the
// start-up, the tray menu's commands and the dialog's buttons, each a
// method over one narrow interface to the windows. Portable, so that the
// sequences are tested natively; the Win32 side only translates messages
// into these calls.
#include <cstdint>
#include <string>

#include "mapping/mapping.h"
#include "platform/context.h"
#include "settings/record.h"

namespace qlx::ui {

inline constexpr char16_t kConnectedText[] = u"Connessione effettuata con successo";
inline constexpr char16_t kConnectFailedText[] = u"Errore nella connessione";
inline constexpr char kAlreadyOpenText[] = "Cannot make a visible window modal";
// The tray's pause between the disconnect and the connect, and start-up's.
inline constexpr std::uint32_t kTrayReconnectPauseMs = 1000;
inline constexpr std::uint32_t kStartReconnectPauseMs = 500;

// What the controller asks of the windows.
class ShellWindows {
 public:
  virtual ~ShellWindows() = default;
  // Another copy runs: this one lingers as the guard says, then ends.
  virtual void EndAsSecondCopy() = 0;
  // A tray balloon with the information icon.
  virtual void ShowBalloon(const std::u16string& text) = 0;
  // The dialog's five fields, as they stand, and back.
  virtual settings::ConnectionSettings ReadDialog() = 0;
  virtual void FillDialog(const settings::ConnectionSettings& values) = 0;
  virtual void HideDialog() = 0;
  // Runs the dialog's modal loop until it is closed.
  virtual void ShowDialogModal() = 0;
  // Ends the dialog's modal loop with the cancel result.
  virtual void CloseDialog() = 0;
  // Posts the quit message.
  virtual void Quit() = 0;
};

// The tray menu's commands, as the tray window reports them.
class TrayCommands {
 public:
  virtual ~TrayCommands() = default;
  virtual void OpenSettings() = 0;
  virtual void Connect() = 0;
  virtual void Disconnect() = 0;
  virtual void Exit() = 0;
};

// The dialog's events, as the dialog window reports them. A step that
// raises ends its action there; the raise reaches the error box.
class DialogCommands {
 public:
  virtual ~DialogCommands() = default;
  virtual void DialogOpening() = 0;  // each time the dialog is about to show
  virtual void Apply() = 0;
  virtual void Save() = 0;
  virtual void ConnectFromDialog() = 0;
  virtual void Cancel() = 0;
};

class ShellController final : public TrayCommands, public DialogCommands {
 public:
  // What the controller reaches besides the windows and the mapping: the
  // store, the pauses between a disconnect and a connect, and the box that
  // tells a failed Explorer launch.
  struct Platform {
    platform::Registry& registry;
    platform::ProgramFile& program;
    platform::Clock& clock;
    platform::Messages& messages;
  };
  // Everything handed in belongs to the caller and outlives the controller.
  ShellController(ShellWindows& windows, settings::ConnectionSettings& settings, mapping::DriveMapping& mapping,
                  const Platform& platform)
      : windows_(windows), settings_(settings), mapping_(mapping), platform_(platform) {}
  ShellController(const ShellController&) = delete;
  ShellController& operator=(const ShellController&) = delete;

  // Start-up, once, when the windows exist: a second copy does nothing
  // else; otherwise the settings are loaded into the hidden dialog, and
  // with automatic connection on the drive is mapped anew.
  void Start(bool another_copy_runs);

  // TrayCommands. OpenSettings raises "Cannot make a visible window modal"
  // while the dialog is open, from its first step on.
  void OpenSettings() override;
  void Connect() override;
  void Disconnect() override;
  void Exit() override;

  // DialogCommands
  void DialogOpening() override;
  void Apply() override;
  void Save() override;
  void ConnectFromDialog() override;
  void Cancel() override;

 private:
  void TakeDialogValues();
  void LoadIntoDialog();
  void ConnectAndTell();

  ShellWindows& windows_;
  settings::ConnectionSettings& settings_;
  mapping::DriveMapping& mapping_;
  const Platform platform_;
  bool dialog_open_ = false;
};

}  // namespace qlx::ui
