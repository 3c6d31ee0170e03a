// Slovak texts, number for number with the English table (number 100 has no translation).
#include "core/messages/message_table.h"

namespace quillbox::message_table {
namespace {

constexpr MessageEntry kSlovak[] = {
    {101, "Quillbox Plug-in"},
    {102, "%1 (%2b) %3"},
    {103, "========== %1 (%2b) %3 =========="},
    {104, "%1 (%2b) %3: %4"},
    {105, "Príloha"},
    {106, "Podpísať údaje"},
    {107, "Vybrať certifikát"},
    {108, "Autentifikácia"},
    {109, "Zoznam certifikátov"},
    {110, "Podpisované údaje"},
    {111, "Podpísať"},
    {112, "OK"},
    {113, "Sťahovanie požiadavky..."},
    {114, "Vydané pre"},
    {115, "Vydal"},
    {116, "Platnosť do"},
    {117, "Dátum vydania"},
    {118, "Popisný názov"},
    {119, "Zrušiť"},
    {120, "Zobraziť"},
    {121, "Chyba"},
    {122, "Nie je možné vytvoriť dokument XML."},
    {123, "Prihlásenie na server %1 zlyhalo."},
    {131, "Certifikát"},
    {132, "Prístup k úložisku certifikátov nie je v chránenom režime povolený."},
    {133, "Proxy server vyžaduje overovacie údaje."},
    {134, "Server vyžaduje overovacie údaje."},
    {135, "Odoslať SMS"},
    {136, "Kód z SMS:"},
    {137, "Pripojiť k"},
    {138, "Overenie zlyhalo"},
    {141, "Nie je možné získať kontext"},
    {143, "Nie je možné podpísať haš"},
    {144, "Nie je možné vypočítať haš údajov"},
    {145, "Nie je možné vytvoriť objekt hašu"},
    {146, "Nie je možné získať súkromný kľúč certifikátu"},
    {147, "Nie je možné otvoriť úložisko certifikátov"},
    {148, "Certifikát sa nenašiel"},
    {149, "Nie je možné zistiť veľkosť podpisu"},
    {150, "Chyba pri prideľovaní pamäte"},
    {151, "Neznáma chyba"},
    {152, "Prihlásiť sa k"},
    {153, "Funkcia „%1“ nie je vo výpočtovom výraze podporovaná"},
    {154, "V parametri chýba „}“"},
    {155, "Vo výraze chýba „}“"},
    {156, "Upozornenie"},
    {157, "V úložisku certifikátov nie je žiadny vhodný certifikát."},
    {160, "Heslo:"},
    {161, "Potvrdenie hesla:"},
    {162, "Heslo k súkromnému kľúču"},
    {163, "Heslo k certifikátu (PFX)"},
    {164, "Heslo sa nezhoduje s potvrdením hesla"},
    {165, "Nie je možné vygenerovať súkromný kľúč RSA"},
    {166, "Nie je možné vytvoriť žiadosť o certifikát"},
    {167, "Nie je možné vytvoriť súbor PFX"},
    {168, "Prázdne heslo"},
    {169, "Uložiť certifikát (PFX)"},
    {170, "Nie je možné vytvoriť názov súboru so súkromným kľúčom RSA"},
    {171, "Nie je možné vytvoriť súbor so súkromným kľúčom RSA: %1"},
    {172, "Nie je možné uložiť súkromný kľúč RSA: %1"},
    {173, "Nie je možné otvoriť súbor so súkromným kľúčom RSA: %1"},
    {174, "Nie je možné načítať súkromný kľúč RSA: %1"},
    {175, "Nie je možné vytvoriť súbor PFX: %1"},
    {176, "Nie je možné uložiť súbor PFX: %1"},
    {177, "Súbor so súkromným kľúčom RSA sa nenašiel: %1"},
    {178, "Neplatný modul súkromného kľúča RSA: %1"},
    {179, "Súbor PFX už bol uložený: %1"},
    {180, "Súbor „%1“ už existuje. Chcete ho nahradiť?"},
    {181, "Všetky súbory (*.*)"},
    {182, "Výmena osobných informácií (*.pfx; *.p12)"},
    {183, "Atribút %1 (%2) má v kódovaní UTF-8 %3 znakov, limit je %4 znakov."},
    {184,
     "Doplnok na skenovanie nie je nainštalovaný alebo ho nie je možné spustiť. Namiesto toho "
     "môžete vybrať súbor z disku. "},
    // The percent sign is doubled: the text goes through FormatMessageText.
    {185,
     "V hesle sú povolené iba znaky ASCII:\n"
     "\n"
     "písmená, číslice, medzera a znaky\n"
     "! \" # $ %% & ' ( ) * + , - . / : ; < = > ? @ [ \\ ] ^ _ ` { | } ~"},
    {186, "Sťahovanie náhľadu podpisovaných údajov..."},
    {187, "O aplikácii %1"},
    {188,
     "%1 je pohodlný pomocník na spracovanie elektronických formulárov.\n"
     "\n"
     "Pri autorizácii dokumentov elektronickým podpisom alebo pri používaní iných pokročilých "
     "funkcií pomáha %1 prehliadaču so všetkým, čo prehliadač sám nezvládne.\n"
     "\n"
     "%1 je aplikácia, ktorá beží na pozadí.\n"
     "\n"
     "Ďalšie informácie vám poskytne prevádzkovateľ elektronického formulára, ktorý vypĺňate."},
    {189, "Server vyžaduje %1 %2."},
    {190, "Požadovaná funkcia formulára „%1“ nie je v tejto verzii aplikácie podporovaná."},
    {191, "Chcete aplikáciu aktualizovať?"},
    {192, "Neplatné XML vlastnej schémy URL"},
    {193, "Stiahnite a nainštalujte, prosím, novú verziu."},
    {194, "Nie je možné vytvoriť rúru pre štandardný výstup (stdout)."},
    {195, "Nie je možné nastaviť rúru pre štandardný výstup (stdout)."},
    {196, "Nie je možné vytvoriť rúru pre štandardný vstup (stdin)."},
    {197, "Nie je možné nastaviť rúru pre štandardný vstup (stdin)."},
    {198, "Chyba viditeľného podpisu"},
    {199, "Nie je možné spustiť aplikáciu Evermark."},
    {200, "Nie je možné odoslať údaje aplikácii Evermark."},
    {201, "Nie je možné načítať údaje z aplikácie Evermark."},
    {202, "Nesprávny formát údajov aplikácie Evermark."},
    {203, "Aplikáciu Evermark sa nepodarilo nájsť v registri systému Windows."},
    // Filled in printf-style by the logger, not by FormatMessageText.
    {204, "Chyba komunikácie so serverom\nStav HTTP: %s\nHlavička: %s"},
    {205, "Server %1 požaduje vaše používateľské meno a heslo."},
    {206, "Používateľské meno:"},
    {207, "Používateľské meno"},
    {208, "Heslo"},
    {209, "Kód z SMS"},
    {210, "Kód:"},
    {211, "Kód"},
    {212, "Aktualizácia aplikácie"},
    {213, "Chcete stiahnuť inštalačný balík?"},
    {214, "Zobraziť všetky certifikáty"},
    // Reserved numbers without a text.
    {215, ""},
    {216, ""},
    {217, ""},
    {218, ""},
    {219, ""},
    {220, ""},
    {221, ""},
    {222, ""},
    {223, ""},
};
static_assert(IsStrictlyAscending(kSlovak));

}  // namespace

std::span<const MessageEntry> Slovak() {
    return kSlovak;
}

}  // namespace quillbox::message_table
