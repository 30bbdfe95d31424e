// A guarded service that exists but refuses SERVICE_QUERY_STATUS to the
// launcher's account blocks the patch, as one that runs does. The kit
// makes such a service (never started) and deletes it afterwards.
#include <windows.h>
// after windows.h
#include <sddl.h>

#include <string>

#include "kit_checks.h"
#include "kit_machine.h"
#include "scoped_handles.h"

namespace first_run {

namespace {

constexpr DWORD kServiceBlocks = 1;
// The guarded names, as the service manager registers them.
constexpr const wchar_t* kGuardedServices[] = {
    L"Quarrix Loomwork (CONFIG)", L"Quarrix Loomwork (HXE)", L"Quarrix Loomwork (HXE & CONFIG)",
    L"Quarrix Loomwork (ZNQ)"};
// Everyone may do anything but ask the status; administrators and SYSTEM
// are refused that ("LC" is SERVICE_QUERY_STATUS), deny entries first.
constexpr wchar_t kRefusingDescriptor[] = L"D:(D;;LC;;;BA)(D;;LC;;;SY)(A;;GA;;;WD)";

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

bool AnyGuardedServiceInstalled(SC_HANDLE manager) {
  for (const wchar_t* name : kGuardedServices) {
    const ServiceHandle service(OpenServiceW(manager, name, SERVICE_QUERY_CONFIG));
    if (service.get() != nullptr || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return true;
  }
  return false;
}

bool RefuseStatusQueries(SC_HANDLE service) {
  wine_tools::ScopedSecurityDescriptor descriptor;
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(
             kRefusingDescriptor, SDDL_REVISION_1, descriptor.receive(), nullptr) &&
         SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor.get());
}

}  // namespace

void CheckGuardedServiceRefusing(const KitPlace& kit) {
  const char* const name = "guarded-service-refused";
  if (!kit.Wanted(name)) return;
  const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager.get() == nullptr) {
    kit.report->Skip(name, "the service manager refuses this account; run the kit as an administrator");
    return;
  }
  if (AnyGuardedServiceInstalled(manager.get())) {
    kit.report->Skip(name, "a product service is installed here; the kit leaves it alone");
    return;
  }
  const std::wstring binary = L"\"" + kit.kitFolder + L"\\recorder.exe\"";
  // The handle keeps the rights it was opened with: DELETE among them, whatever the descriptor says later.
  const ServiceHandle service(CreateServiceW(
      manager.get(), kGuardedServices[3], kGuardedServices[3], SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(),
      nullptr, nullptr, nullptr, nullptr, nullptr));
  if (service.get() == nullptr) {
    kit.report->Fail(name, "the service could not be made (" + std::to_string(GetLastError()) + ")");
    return;
  }
  LauncherRun run;
  const bool refused = RefuseStatusQueries(service.get());
  if (refused) run = RunLauncher(kit, LayOutPatchFolder(kit, L"service", L"Hostrel"), L"/qn");
  DeleteService(service.get());
  if (!refused) {
    kit.report->Fail(name, "the service's descriptor could not be set");
  } else if (run.exitCode != kServiceBlocks ||
             run.log.find("could not be opened (5 (access denied))") == std::string::npos) {
    kit.report->Fail(name, "Setup.exe ended with " + std::to_string(run.exitCode) +
                               ", expected 1 with the service that could not be opened (5)");
  } else {
    kit.report->Pass(name, "Setup.exe ended with 1, the service that will not open blocking");
  }
}

}  // namespace first_run
