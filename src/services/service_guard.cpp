#include "services/service_guard.h"

#include <iterator>

#include "detection/language_resolution.h"
#include "platform/scoped_handle.h"
#include "services/blocking_services.h"
#include "shared/log_events.h"
#include "shared/user_messages.h"

namespace setup {

namespace {

// Names side by side in one array, not pointers: each pointer would cost the program a
// relocation.
constexpr char kStateNames[][17] = {
    "unknown", "stopped",          "start pending", "stop pending",
    "running", "continue pending", "pause pending", "paused",
};

// A state that could not be read must not let the patch through.
bool IsStopped(Platform& platform, const RunState& run, const char* name, ServiceHandle service) {
  ServiceStatus status;
  Status queryError = ERROR_SUCCESS;
  if (!platform.QueryServiceStatus(service, &status, &queryError)) {
    Tell<LogEvent::ServiceUnseen>(run, name, "its state could not be read", StatusText{queryError});
    return false;
  }
  const std::uint32_t state = status.currentState;
  Tell<LogEvent::ServiceState>(
      run, name, state < std::size(kStateNames) ? kStateNames[state] : "unknown", state);
  return state == SERVICE_STOPPED;
}

}  // namespace

ServiceCheck CheckBlockingServices(Platform& platform, RunState& run, const PatchFolder& folder) {
  Status managerError = ERROR_SUCCESS;
  ScopedServiceHandle manager(
      platform, platform.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT, &managerError));
  if (!manager.valid()) {
    Tell<LogEvent::ServiceManagerNotOpened>(run, StatusText{managerError});
    return {};
  }

  for (const char* name : BlockingServiceNames) {
    Status openError = ERROR_SUCCESS;
    ScopedServiceHandle service(
        platform, platform.OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS, &openError));
    // Only the manager's own answer proves a service absent: one that will not open may be
    // running, as one whose state cannot be read may be.
    if (!service.valid() && openError == ERROR_SERVICE_DOES_NOT_EXIST) {
      Tell<LogEvent::ServiceNotInstalled>(run, name);
      continue;
    }
    if (!service.valid()) {
      Tell<LogEvent::ServiceUnseen>(run, name, "could not be opened", StatusText{openError});
    } else if (IsStopped(platform, run, name, service.get())) {
      continue;
    }

    Tell<LogEvent::ServiceBlocks>(run, name);
    const ResolvedLanguage language = ResolveLanguage(platform, run, folder);
    const ServiceMessage& message = BlockingServiceMessageFor(language.row);
    ShowUserMessage(platform, run, message.text, message.caption, MB_ICONERROR);
    // The service closes before the manager: it was opened after it.
    return {true, language.product, language.warnings};
  }
  return {};
}

}  // namespace setup
