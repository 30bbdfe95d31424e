#include "services/service_guard.h"

#include "detection/language_resolution.h"
#include "platform/scoped_handle.h"
#include "services/blocking_services.h"
#include "shared/user_messages.h"

namespace setup {

namespace {

// A state that could not be read must not let the patch through.
bool IsStopped(Platform& platform, ServiceHandle service) {
  ServiceStatus status;
  return platform.QueryServiceStatus(service, &status) && status.currentState == SERVICE_STOPPED;
}

}  // namespace

int CheckBlockingServices(Platform& platform, RunState& run) {
  ScopedServiceHandle manager(platform,
                              platform.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.valid()) return 0;

  for (const char* name : BlockingServiceNames) {
    ScopedServiceHandle service(platform,
                                platform.OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
    if (!service.valid() || IsStopped(platform, service.get())) continue;

    const ServiceMessage& message = BlockingServiceMessageFor(ResolveLanguageIndex(platform, run));
    ShowUserMessage(platform, run, message.text, message.caption, MB_ICONERROR);
    static_cast<void>(service.reset());  // the service before the manager
    static_cast<void>(manager.reset());
    return 1;
  }
  return 0;
}

}  // namespace setup
