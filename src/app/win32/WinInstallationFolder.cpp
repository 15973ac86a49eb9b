#include "WinInstallationFolder.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <optional>
#include <vector>

#include "WinText.h"

namespace fw {
namespace {

// "a/b/name" -> subkey "<root>\a\b" and value "name".
void SplitKey(const std::wstring& root, const std::string& key, std::wstring& subkey,
              std::wstring& name) {
  const std::wstring wide = Wide(key);
  const size_t slash = wide.find_last_of(L'/');
  subkey = root;
  if (slash != std::wstring::npos) {
    std::wstring groups = wide.substr(0, slash);
    for (wchar_t& c : groups) {
      if (c == L'/') {
        c = L'\\';
      }
    }
    subkey += L"\\" + groups;
    name = wide.substr(slash + 1);
  } else {
    name = wide;
  }
}

class RegistryStore : public UserStore {
 public:
  explicit RegistryStore(std::wstring root) : root_(std::move(root)) {}

  std::optional<std::string> Get(const std::string& key) const override {
    std::wstring subkey, name;
    SplitKey(root_, key, subkey, name);
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_DWORD, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD type = 0;
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, buffer.data(),
                     &bytes) != ERROR_SUCCESS) {
      return std::nullopt;  // changed between the two calls, or unreadable
    }
    if (type == REG_DWORD) {  // a number written by hand, or by another program
      DWORD number = 0;
      memcpy(&number, buffer.data(), sizeof number);
      return std::to_string(number);
    }
    return Utf8(std::wstring(buffer.data()));
  }

  void Set(const std::string& key, const std::string& value) override {
    std::wstring subkey, name;
    SplitKey(root_, key, subkey, name);
    const std::wstring data = Wide(value);
    RegSetKeyValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), REG_SZ, data.c_str(),
                    static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }

  void Remove(const std::string& key) override {
    std::wstring subkey, name;
    SplitKey(root_, key, subkey, name);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str());
  }

  std::string Location() const override { return "HKEY_CURRENT_USER\\" + Utf8(root_); }

 private:
  std::wstring root_;
};

}  // namespace

std::unique_ptr<UserStore> RegistryUserStore(const std::wstring& key) {
  return std::make_unique<RegistryStore>(key);
}

bool AskForInstallationFolder(HWND owner, const InstallationCheck& check) {
  constexpr int kChooseId = 100;
  const std::wstring message = Wide(check.Message());
  const std::wstring hint = Wide(kChooseFolderHint);
  const std::wstring chooseText = Wide(kChooseFolderButton);
  const TASKDIALOG_BUTTON buttons[] = {{kChooseId, chooseText.c_str()}};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  config.pszWindowTitle = L"Radio Flashwright";
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszMainInstruction = message.c_str();
  config.pszContent = hint.c_str();
  config.cButtons = 1;
  config.pButtons = buttons;
  config.nDefaultButton = kChooseId;
  int pressed = 0;
  if (SUCCEEDED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
    return pressed == kChooseId;
  }
  // Without the task dialog (common controls before version 6): the same question in a
  // message box, whose OK chooses.
  const std::wstring text = message + L"\n\n" + hint + L"\n\nOK: " + chooseText;
  return MessageBoxW(owner, text.c_str(), L"Radio Flashwright", MB_OKCANCEL | MB_ICONWARNING) ==
         IDOK;
}

std::string PickInstallationFolder(HWND owner, const std::string& start) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog)))) {
    return std::string();
  }
  std::string chosen;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  const std::wstring title = Wide(kChooseFolderCaption);
  dialog->SetTitle(title.c_str());
  IShellItem* folder = nullptr;
  if (!start.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(Wide(start).c_str(), nullptr, IID_PPV_ARGS(&folder)))) {
    dialog->SetFolder(folder);
    folder->Release();
  }
  IShellItem* result = nullptr;
  if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&result))) {
    PWSTR path = nullptr;
    if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path != nullptr) {
      chosen = Utf8(path);
      CoTaskMemFree(path);
    }
    result->Release();
  }
  dialog->Release();
  return chosen;
}

}  // namespace fw
