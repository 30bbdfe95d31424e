// Refuses to patch while a product service is not stopped.
#ifndef SETUP_SERVICES_SERVICE_GUARD_H
#define SETUP_SERVICES_SERVICE_GUARD_H

#include "platform/platform.h"
#include "shared/patch_folder.h"
#include "shared/run_state.h"

namespace setup {

// Service names as registered with the service manager, tested in order.
constexpr int BlockingServiceCount = 4;
extern const char* const BlockingServiceNames[BlockingServiceCount];

// One message in one language, in UTF-16 so that it shows in its own script on any system.
struct ServiceMessage {
  const WideChar* text;
  const WideChar* caption;
};

// English, German, Italian, Japanese, French, Swedish.
constexpr int BlockingServiceMessageCount = 6;
extern const ServiceMessage BlockingServiceMessages[BlockingServiceMessageCount];

// The message for a language index (-1 to 9): its language where there is one, else English.
const ServiceMessage& BlockingServiceMessageFor(int languageIndex);

struct ServiceCheck {
  bool blocks = false;
  // Identified for the message's language, with the warnings of doing so.
  int product = kNoProduct;
  std::uint32_t warnings = 0;
};

// At the first blocking service not known to be stopped (asked with no more rights than a status
// query needs), shows the message in the product's language and blocks; nothing blocks when the
// service manager cannot be opened.
ServiceCheck CheckBlockingServices(Platform& platform, const RunState& run,
                                   const PatchFolder& folder);

}  // namespace setup

#endif  // SETUP_SERVICES_SERVICE_GUARD_H
