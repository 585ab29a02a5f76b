// The main window's side of the other windows, for a build without them: their menu items do nothing.
#include "MainForm.h"

struct TMainForm::Dialogs {};

void TMainForm::DialogsDeleter::operator()(Dialogs* dialogs) const { delete dialogs; }
void TMainForm::CreateDialogs() { dialogs_.reset(new Dialogs); }
void TMainForm::FillDialogsRequest(map27::SendRequest&) const {}
void TMainForm::ShowDialog(DialogWindow) {}
void TMainForm::ShowParametersModal() {}
void TMainForm::ShowVersionModal() {}
void TMainForm::PushParameters() {}
void TMainForm::SetCallOptionGroupsEnabled(bool) {}
void TMainForm::ApplyPersonality(const map27::PersonalityUpdate&) {}
void TMainForm::ApplySettings(const map27::SettingsUpdate&) {}
void TMainForm::ShowSentHeader(const std::array<std::uint8_t, 4>&) {}
void TMainForm::ShowReceivedNs(int) {}
void TMainForm::RefreshTestWindows(const map27::LinkSnapshot&) {}
bool TMainForm::TestWindowsVisible() const { return false; }
void TMainForm::HideDialogs() {}
