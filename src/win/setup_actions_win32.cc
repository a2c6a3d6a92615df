// The package's custom actions about the task and the settings, kept in
// its Binary table and never installed: the task \tesmarinds\close-windows
// registered and removed through Task Scheduler's API, its text in UTF-16
// throughout (no console, no code page, no cmd parsing the install folder),
// and what an installed version was given read back before the upgrade
// removes it. The folders' actions are in setup_folders_win32.cc.
//
//   RememberSettings     immediate, before RemoveExistingProducts: TERM,
//                        KEEPDAYS and START, each only when not given, from
//                        the Term and KeepDays the installed version wrote
//                        and its task's start; on a repair TERM and KEEPDAYS,
//                        which Windows Installer keeps nowhere, so that the
//                        repair writes the values back, not empty ones
//   KeepTaskForRollback  immediate, before UnregisterTask: the start and
//                        the folder ReregisterTask registers again
//   RegisterTask         deferred, as SYSTEM: CustomActionData
//                        START|INSTALLDIR; also ReregisterTask, the
//                        rollback of UnregisterTask
//   UnregisterTask       deferred and rollback, as SYSTEM
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>
#include <taskschd.h>

#include <string>

#include "settings/settings.h"
#include "setup/kept_settings.h"
#include "setup/task_definition.h"
#include "win/setup_session_win32.h"

namespace {

constexpr wchar_t kTaskFolder[] = L"\\tesmarinds";
constexpr wchar_t kTaskName[] = L"close-windows";
// The start of a task whose trigger cannot be read, as under Wine, whose
// Task Scheduler keeps none: the package's default.
constexpr char16_t kDefaultStart[] = u"18:00";

std::wstring Hex(HRESULT result) {
  constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  auto bits = static_cast<unsigned long>(result);
  std::wstring text = L"0x00000000";
  for (size_t i = text.size() - 1; i > 1; --i, bits >>= 4) {
    text[i] = kDigits[bits & 0xF];
  }
  return text;
}

// Releases a COM interface when it goes out of scope.
template <typename Interface>
class Held {
 public:
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  Interface** Out() { return &pointer_; }
  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : text_(SysAllocString(text)) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(text_); }
  BSTR* Out() { return &text_; }
  operator BSTR() const { return text_; }

 private:
  BSTR text_ = nullptr;
};

// COM for one custom action's call, on the thread Windows Installer gives it.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }

 private:
  HRESULT result_;
};

HRESULT ConnectTaskService(Held<ITaskService>* service) {
  HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr,
                                    CLSCTX_INPROC_SERVER, IID_ITaskService,
                                    reinterpret_cast<void**>(service->Out()));
  if (FAILED(result)) {
    return result;
  }
  VARIANT none;
  VariantInit(&none);
  return (*service)->Connect(none, none, none, none);
}

HRESULT OpenTask(ITaskService* service, Held<IRegisteredTask>* task) {
  Held<ITaskFolder> folder;
  HRESULT result = service->GetFolder(Bstr(kTaskFolder), folder.Out());
  if (FAILED(result)) {
    return result;
  }
  return folder->GetTask(Bstr(kTaskName), task->Out());
}

// HH:MM of the installed task's first trigger; empty when there is none.
std::u16string InstalledStartTime(MSIHANDLE install) {
  ComScope com;
  Held<ITaskService> service;
  Held<IRegisteredTask> task;
  Held<ITaskDefinition> definition;
  Held<ITriggerCollection> triggers;
  Held<ITrigger> trigger;
  Bstr boundary;
  HRESULT result = ConnectTaskService(&service);
  if (SUCCEEDED(result)) {
    result = OpenTask(service.Get(), &task);
  }
  if (SUCCEEDED(result)) {
    result = task->get_Definition(definition.Out());
  }
  if (SUCCEEDED(result)) {
    result = definition->get_Triggers(triggers.Out());
  }
  if (SUCCEEDED(result)) {
    result = triggers->get_Item(1, trigger.Out());
  }
  if (SUCCEEDED(result)) {
    result = trigger->get_StartBoundary(boundary.Out());
  }
  if (FAILED(result) || boundary == nullptr) {
    Log(install,
        L"no start time read from the installed task (" + Hex(result) + L")");
    return std::u16string();
  }
  return setup::StartTimeOf(Utf16(boundary));
}

// Whether the version being upgraded, or this one being repaired, installed
// that feature. While it is installed, the value at the package's place is
// the package's: one an administrator changed there is the package's
// setting all the same, kept by an upgrade and a repair and removed with
// the package. A policy's value is under a key of its own, which the
// package neither reads nor writes.
bool InstalledByPackage(MSIHANDLE install, const wchar_t* feature) {
  std::wstring products = Property(install, L"Installed").empty()
                              ? Property(install, L"WIX_UPGRADE_DETECTED")
                              : Property(install, L"ProductCode");
  size_t start = 0;
  while (start < products.size()) {
    size_t end = products.find(L';', start);
    if (end == std::wstring::npos) {
      end = products.size();
    }
    std::wstring product = products.substr(start, end - start);
    // Wine 8 calls a feature of registry values alone run from source.
    INSTALLSTATE state = MsiQueryFeatureStateW(product.c_str(), feature);
    if (state == INSTALLSTATE_LOCAL || state == INSTALLSTATE_SOURCE) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// property from the installed value name where rule keeps it, read as the
// runner reads it; otherwise the log says why and the property keeps its
// default, never another view's value.
void Remember(MSIHANDLE install, const wchar_t* property, const char16_t* name,
              setup::KeptSetting (*rule)(const RegistryValue&)) {
  const FoundSetting found = FindPackageSetting(name);
  const setup::KeptSetting kept = rule(found.value);
  const std::wstring value =
      L" the installed " + std::wstring(Wide(std::u16string(name)));
  if (kept.kept) {
    MsiSetPropertyW(install, property, Wide(kept.property));
    Log(install, property + (L" kept from" + value));
    return;
  }
  std::string where;
  if (found.value.kind != RegistryValue::kAbsent) {
    where = std::string(" (") + KeyOf(found.place) +
            (found.place == SettingsPlace::kPackage64 ? ", 64-bit view)"
                                                      : ", 32-bit view)");
  }
  Log(install, property + (L" not taken from" + value) + FromAscii(where) +
                   L": " + FromAscii(kept.why));
}

void RememberStart(MSIHANDLE install) {
  std::u16string start = InstalledStartTime(install);
  if (!start.empty()) {
    MsiSetPropertyW(install, L"START", Wide(start));
    Log(install,
        L"START kept from the installed task: " + std::wstring(Wide(start)));
  }
}

HRESULT Register(const std::u16string& definition) {
  ComScope com;
  Held<ITaskService> service;
  HRESULT result = ConnectTaskService(&service);
  if (FAILED(result)) {
    return result;
  }
  Held<ITaskFolder> root;
  Held<ITaskFolder> folder_of_task;
  result = service->GetFolder(Bstr(L"\\"), root.Out());
  if (FAILED(result)) {
    return result;
  }
  // Kept by a removal (as 1.4.0 kept it), so an upgrade finds it there.
  if (FAILED(service->GetFolder(Bstr(kTaskFolder), folder_of_task.Out()))) {
    VARIANT no_sddl;
    VariantInit(&no_sddl);
    result =
        root->CreateFolder(Bstr(kTaskFolder), no_sddl, folder_of_task.Out());
    if (FAILED(result)) {
      return result;
    }
  }
  // No user given: one given would take priority over the definition's
  // principal, the Users group, which is to run the task.
  VARIANT none;
  VariantInit(&none);
  Held<IRegisteredTask> registered;
  return folder_of_task->RegisterTask(Bstr(kTaskName), Bstr(Wide(definition)),
                                      TASK_CREATE_OR_UPDATE, none, none,
                                      TASK_LOGON_GROUP, none, registered.Out());
}

}  // namespace

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t none[1] = L"";
  if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) {
    return std::wstring();
  }
  std::wstring value(++size, L'\0');
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  value.resize(size);
  return value;
}

void Log(MSIHANDLE install, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, (L"tesmarinds: " + text).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::u16string Utf16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::wstring FromAscii(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

extern "C" {

__declspec(dllexport) UINT __stdcall RememberSettings(MSIHANDLE install) {
  if (Property(install, L"TERM").empty() &&
      InstalledByPackage(install, L"Term")) {
    Remember(install, L"TERM", u"Term", setup::KeptTerm);
  }
  if (Property(install, L"KEEPDAYS").empty() &&
      InstalledByPackage(install, L"KeepDays")) {
    Remember(install, L"KEEPDAYS", u"KeepDays", setup::KeptKeepDays);
  }
  // A repair registers no task.
  if (Property(install, L"Installed").empty() &&
      Property(install, L"START").empty()) {
    RememberStart(install);
  }
  // Nothing read back is no failure: the defaults apply.
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall RegisterTask(MSIHANDLE install) {
  setup::Registration registration;
  if (!setup::SplitRegistrationData(
          Utf16(Property(install, L"CustomActionData").c_str()),
          &registration) ||
      !setup::IsStartTime(registration.start) || registration.folder.empty()) {
    // A task that never starts is worse than a failed install.
    Log(install, L"START must be HH:MM from 00:00 to 23:59, not \"" +
                     std::wstring(Wide(registration.start)) + L"\"");
    return ERROR_INSTALL_FAILURE;
  }
  const std::string problem = setup::FolderNameProblem(registration.folder);
  if (!problem.empty()) {
    Log(install, L"the task \\tesmarinds\\close-windows was not registered: " +
                     std::wstring(Wide(registration.folder)) + L" " +
                     FromAscii(problem));
    return ERROR_INSTALL_FAILURE;
  }
  std::u16string definition = setup::TaskDefinition(registration);
  // Whole in the installation's log: what Task Scheduler was given, to be
  // read beside what it shows.
  Log(install, L"registering \\tesmarinds\\close-windows as\r\n" +
                   std::wstring(Wide(definition)));
  HRESULT result = Register(definition);
  if (FAILED(result)) {
    Log(install, L"the task \\tesmarinds\\close-windows was not registered (" +
                     Hex(result) + L")");
    return ERROR_INSTALL_FAILURE;
  }
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall KeepTaskForRollback(MSIHANDLE install) {
  std::u16string start = InstalledStartTime(install);
  if (start.empty()) {
    start = kDefaultStart;
  }
  const std::wstring data =
      std::wstring(Wide(start)) + L"|" + Property(install, L"INSTALLDIR");
  MsiSetPropertyW(install, L"ReregisterTask", data.c_str());
  Log(install,
      L"should the removal roll back, the task is registered again"
      L" as " +
          data);
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall UnregisterTask(MSIHANDLE install) {
  ComScope com;
  Held<ITaskService> service;
  Held<ITaskFolder> folder;
  HRESULT result = ConnectTaskService(&service);
  if (SUCCEEDED(result)) {
    result = service->GetFolder(Bstr(kTaskFolder), folder.Out());
  }
  if (SUCCEEDED(result)) {
    result = folder->DeleteTask(Bstr(kTaskName), 0);
  }
  if (FAILED(result)) {
    Log(install, L"the task \\tesmarinds\\close-windows was not removed (" +
                     Hex(result) + L")");
  }
  // A task already gone leaves nothing to undo.
  return ERROR_SUCCESS;
}

}  // extern "C"
