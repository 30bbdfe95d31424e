#include "services/blocking_services.h"

#include "detection/language_table.h"

namespace setup {

const char* const BlockingServiceNames[BlockingServiceCount] = {
    "Quarrix Loomwork (CONFIG)",
    "Quarrix Loomwork (HXE)",
    "Quarrix Loomwork (HXE & CONFIG)",
    "Quarrix Loomwork (ZNQ)",
};

// Every character counts, the double blanks and the blank before each line
// feed included.
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

namespace {

enum MessageLanguage { kEnglish, kGerman, kItalian, kJapanese, kFrench, kSwedish };

// By language table row: English, Dutch, German, Italian, Japanese, French,
// Spanish, Swedish, Traditional and Simplified Chinese.
constexpr MessageLanguage kMessageByLanguageIndex[LanguageTableCount] = {
    kEnglish, kEnglish, kGerman,  kItalian, kJapanese,
    kFrench,  kEnglish, kSwedish, kEnglish, kEnglish,
};

}  // namespace

const ServiceMessage& BlockingServiceMessageFor(int languageIndex) {
  const MessageLanguage language = languageIndex >= 0 && languageIndex < LanguageTableCount
                                       ? kMessageByLanguageIndex[languageIndex]
                                       : kEnglish;
  return BlockingServiceMessages[language];
}

}  // namespace setup
