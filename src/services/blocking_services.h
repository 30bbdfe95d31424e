// The product services that must be stopped before a patch is applied, and what the user is told
// when one is not.
#ifndef SETUP_SERVICES_BLOCKING_SERVICES_H
#define SETUP_SERVICES_BLOCKING_SERVICES_H

#include "platform/platform.h"

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

}  // namespace setup

#endif  // SETUP_SERVICES_BLOCKING_SERVICES_H
