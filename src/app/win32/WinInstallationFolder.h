#pragma once
// The Win32 window's side of the installation folder (app/window/InstallationFolder): the
// per-user values in the user's registry, the question when the folder holds no installation
// (a task dialog with "Choose Folder..." and "Cancel") and the system's folder picker.

#include <windows.h>
// The core's views have a MessageBox of their own.
#undef MessageBox

#include <memory>
#include <string>

#include "app/window/InstallationFolder.h"

namespace fw {

// The per-user key the window's values live under, below HKEY_CURRENT_USER.
inline constexpr const wchar_t* kUserRegistryKey = L"Software\\flashwright\\flashwright";

// The user's values under HKEY_CURRENT_USER\`key`: a key "a/b/name" is the value "name" of
// the subkey "a\b", as text (REG_SZ).
std::unique_ptr<UserStore> RegistryUserStore(const std::wstring& key = kUserRegistryKey);

// Asks what to do about a folder without (a whole) installation: true for "Choose Folder...".
bool AskForInstallationFolder(HWND owner, const InstallationCheck& check);

// The system's folder picker, opened on `start`: the chosen folder, empty when cancelled.
std::string PickInstallationFolder(HWND owner, const std::string& start);

}  // namespace fw
