#include "player/PlayerHost.h"

#include "platform/Dialogs.h"
#include "player/ResStr.h"

bool IPlayerHost::MayGoOnFromLabel(const std::string& label) {
  return MessageDlg(Format(ResStr::SavedPlaceLost, {label}), mtConfirmation, mbYesNo) == mrYes;
}

bool IPlayerHost::MayLoadOlderSave(const std::string& title) {
  return MessageDlg(Format(ResStr::OlderSave, {title}), mtConfirmation, mbYesNo) == mrYes;
}
