#include "services/service_guard.h"

#include <iterator>

#include "detection/language_resolution.h"
#include "detection/language_table.h"
#include "platform/scoped_handle.h"
#include "shared/log_events.h"

namespace setup {

namespace {

enum MessageLanguage { kEnglish, kGerman, kItalian, kJapanese, kFrench, kSwedish };

// By LanguageTable row: Dutch, Spanish and Chinese have no message of their own.
constexpr MessageLanguage kMessageByLanguageIndex[LanguageTableCount] = {
    kEnglish, kEnglish, kGerman,  kItalian, kJapanese,
    kFrench,  kEnglish, kSwedish, kEnglish, kEnglish,
};

// Names side by side in one array, not pointers: each pointer would cost the program a relocation.
constexpr char kStateNames[][17] = {
    "unknown", "stopped",          "start pending", "stop pending",
    "running", "continue pending", "pause pending", "paused",
};

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

const char* const BlockingServiceNames[BlockingServiceCount] = {
    "Quarrix Loomwork (CONFIG)",
    "Quarrix Loomwork (HXE)",
    "Quarrix Loomwork (HXE & CONFIG)",
    "Quarrix Loomwork (ZNQ)",
};

// Every character counts, the double blanks and the blank before each line feed included.
const ServiceMessage BlockingServiceMessages[BlockingServiceMessageCount] = {
    {u"The Quarrix Loomwork Services are still running.  These services \n"
     u"must be stopped before this update can occur.",
     u"Quarrix Hostrel 8 Loomwork"},
    {u"Die Quarrix Loomwork-Dienste sind noch aktiv. Diese Dienste \n"
     u"müssen gestoppt werden, bevor Sie das Update vornehmen können.",
     u"Quarrix Hostrel 8 Loomwork Installation"},
    {u"I servizi Quarrix Loomwork sono ancora in esecuzione.  \n"
     u"È necessario arrestare questi servizi prima di poter effettuare l'aggiornamento.",
     u"Installazione di Quarrix Hostrel 8 Loomwork"},
    {u"Quarrix Loomwork のサービスがまだ実行されています。\n"
     u"このアップデートを実行するには、このサービスを停止する必要があります。",
     u"Quarrix Hostrel 8 Loomwork セットアップ"},
    {u"Les services Quarrix Loomwork sont toujours en cours d'exécution.  Ces services \n"
     u"doivent être arrêtés pour que la procédure de mise à jour puisse démarrer.",
     u"Installation de Quarrix Hostrel 8 Loomwork"},
    {u"Quarrix Loomwork-tjänster körs fortfarande.  Dessa tjänster \n"
     u"måste stoppas innan uppdateringen kan utföras.",
     u"Installera Quarrix Hostrel 8 Loomwork"},
};

ServiceCheck CheckBlockingServices(Platform& platform, const RunState& run,
                                   const PatchFolder& folder) {
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
    // Only the manager's own answer proves a service absent: one that will not open may be running,
    // as one whose state cannot be read may be.
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

const ServiceMessage& BlockingServiceMessageFor(int languageIndex) {
  const MessageLanguage language = languageIndex >= 0 && languageIndex < LanguageTableCount
                                       ? kMessageByLanguageIndex[languageIndex]
                                       : kEnglish;
  return BlockingServiceMessages[language];
}

}  // namespace setup
