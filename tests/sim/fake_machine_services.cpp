// FakeMachine: the service control manager, its handles and access rights.
#include <stdexcept>

#include "sim/ascii_case.h"
#include "sim/fake_machine.h"
#include "sim/fake_machine_entry.h"

namespace setup::sim {
namespace {

// What the manager answers besides the platform header's statuses.
constexpr Status kErrorInvalidAddress = 487;
constexpr Status kErrorDatabaseDoesNotExist = 1065;
constexpr Status kRpcServerUnavailable = 1722;

constexpr std::uint32_t kGenericAll = 0x10000000u;
constexpr std::uint32_t kGenericExecute = 0x20000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericRights =
    kGenericAll | kGenericExecute | kGenericWrite | kGenericRead;

// The generic rights of one kind of service object, as specific rights.
struct GenericMapping {
  std::uint32_t read;
  std::uint32_t write;
  std::uint32_t execute;
  std::uint32_t all;
};
constexpr GenericMapping kManagerMapping{0x20014, 0x20022, 0x20009, SC_MANAGER_ALL_ACCESS};
constexpr GenericMapping kServiceMapping{0x2008D, 0x20002, 0x20170, SERVICE_ALL_ACCESS};

std::uint32_t MapAccess(std::uint32_t access, const GenericMapping& mapping) {
  std::uint32_t rights = access & ~kGenericRights;
  if ((access & kGenericRead) != 0) rights |= mapping.read;
  if ((access & kGenericWrite) != 0) rights |= mapping.write;
  if ((access & kGenericExecute) != 0) rights |= mapping.execute;
  if ((access & kGenericAll) != 0) rights |= mapping.all;
  return rights;
}

void CheckState(std::uint32_t state) {
  if (state < SERVICE_STOPPED || state > SERVICE_PAUSED) {
    throw std::invalid_argument("service state out of range: " + std::to_string(state));
  }
}

}  // namespace

// ---- Test set-up -------------------------------------------------------------

FakeMachine::InstalledService* FakeMachine::FindService(std::string_view name) {
  for (InstalledService& service : services_) {
    if (EqualsIgnoringAsciiCase(service.name, name)) return &service;
  }
  return nullptr;
}

FakeMachine::InstalledService& FakeMachine::ServiceForSetUp(const std::string& name) {
  InstalledService* service = FindService(name);
  if (service == nullptr) throw std::invalid_argument("no service installed as " + name);
  return *service;
}

void FakeMachine::InstallService(const std::string& name, std::uint32_t state) {
  CheckState(state);
  if (FindService(name) != nullptr) throw std::invalid_argument("service installed twice: " + name);
  InstalledService service;
  service.name = name;
  service.state = state;
  services_.push_back(service);
}

void FakeMachine::SetServiceState(const std::string& name, std::uint32_t state) {
  CheckState(state);
  ServiceForSetUp(name).state = state;
}

void FakeMachine::SetManagerAllowedAccess(std::uint32_t mask) { managerAllowedAccess_ = mask; }

void FakeMachine::SetServiceAllowedAccess(const std::string& name, std::uint32_t mask) {
  ServiceForSetUp(name).allowedAccess = mask;
}

void FakeMachine::FailStatusQuery(const std::string& name, bool fail) {
  ServiceForSetUp(name).failStatusQuery = fail;
}

// ---- Platform ----------------------------------------------------------------

ServiceHandle FakeMachine::OpenSCManagerA(const char* machineName, const char* databaseName,
                                          std::uint32_t access, Status* lastError) noexcept {
  return EnterWithLastError(
      Operation::OpenSCManagerA, NO_SERVICE_HANDLE, lastError, [&](Status* error) {
        managerRequests_.push_back(access);
        // Only the local machine's active database exists here.
        if (machineName != nullptr && machineName[0] != '\0') {
          *error = kRpcServerUnavailable;
          return NO_SERVICE_HANDLE;
        }
        if (databaseName != nullptr && !EqualsIgnoringAsciiCase(databaseName, "ServicesActive")) {
          *error = kErrorDatabaseDoesNotExist;
          return NO_SERVICE_HANDLE;
        }
        // SC_MANAGER_CONNECT is granted implicitly, asked for or not.
        const std::uint32_t rights = MapAccess(access, kManagerMapping);
        if ((rights & ~managerAllowedAccess_ & ~SC_MANAGER_CONNECT) != 0) {
          *error = ERROR_ACCESS_DENIED;
          return NO_SERVICE_HANDLE;
        }
        const ServiceHandle handle{NextHandleValue()};
        openServices_[handle] = OpenService{true, "", rights | SC_MANAGER_CONNECT};
        return handle;
      });
}

ServiceHandle FakeMachine::OpenServiceA(ServiceHandle manager, const char* serviceName,
                                        std::uint32_t access, Status* lastError) noexcept {
  return EnterWithLastError(
      Operation::OpenServiceA, NO_SERVICE_HANDLE, lastError, [&](Status* error) {
        serviceRequests_.push_back({serviceName != nullptr ? serviceName : "", access});
        const auto open = openServices_.find(manager);
        if (open == openServices_.end() || !open->second.isManager) {
          *error = ERROR_INVALID_HANDLE;
          return NO_SERVICE_HANDLE;
        }
        const InstalledService* service =
            serviceName != nullptr ? FindService(serviceName) : nullptr;
        if (service == nullptr) {
          *error = serviceName != nullptr ? ERROR_SERVICE_DOES_NOT_EXIST : kErrorInvalidAddress;
          return NO_SERVICE_HANDLE;
        }
        const std::uint32_t rights = MapAccess(access, kServiceMapping);
        if ((rights & ~service->allowedAccess) != 0) {
          *error = ERROR_ACCESS_DENIED;
          return NO_SERVICE_HANDLE;
        }
        const ServiceHandle handle{NextHandleValue()};
        openServices_[handle] = OpenService{false, service->name, rights};
        return handle;
      });
}

bool FakeMachine::QueryServiceStatus(ServiceHandle service, ServiceStatus* status,
                                     Status* lastError) noexcept {
  return EnterWithLastError(Operation::QueryServiceStatus, false, lastError, [&](Status* error) {
    const auto open = openServices_.find(service);
    if (open == openServices_.end() || open->second.isManager) {
      *error = ERROR_INVALID_HANDLE;
      return false;
    }
    if (status == nullptr) {
      *error = kErrorInvalidAddress;
      return false;
    }
    const InstalledService* installed = FindService(open->second.serviceName);
    if ((open->second.rights & SERVICE_QUERY_STATUS) == 0 || installed == nullptr ||
        installed->failStatusQuery) {
      *error = ERROR_ACCESS_DENIED;
      return false;
    }
    status->currentState = installed->state;
    return true;
  });
}

bool FakeMachine::CloseServiceHandle(ServiceHandle handle) noexcept {
  return EnterClose(Operation::CloseServiceHandle, false, [&] {
    const auto open = openServices_.find(handle);
    if (open == openServices_.end()) return false;
    serviceCloses_.push_back(open->second.isManager ? "manager"
                                                    : "service:" + open->second.serviceName);
    openServices_.erase(open);
    return true;
  });
}

}  // namespace setup::sim
