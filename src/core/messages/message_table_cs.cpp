// Czech texts, number for number with the English table (number 100 has no translation).
#include "core/messages/message_table.h"

namespace quillbox::message_table {
namespace {

constexpr MessageEntry kCzech[] = {
    {101, "Quillbox Plug-in"},
    {102, "%1 (%2b) %3"},
    {103, "========== %1 (%2b) %3 =========="},
    {104, "%1 (%2b) %3: %4"},
    {105, "Příloha"},
    {106, "Podepsat data"},
    {107, "Vybrat certifikát"},
    {108, "Autentizace"},
    {109, "Seznam certifikátů"},
    {110, "Podepisovaná data"},
    {111, "Podepsat"},
    {112, "OK"},
    {113, "Stahování požadavku..."},
    {114, "Vydáno pro"},
    {115, "Vydal"},
    {116, "Platnost do"},
    {117, "Datum vydání"},
    {118, "Popisný název"},
    {119, "Zrušit"},
    {120, "Zobrazit"},
    {121, "Chyba"},
    {122, "Nelze vytvořit dokument XML."},
    {123, "Přihlášení k serveru %1 se nezdařilo."},
    {131, "Certifikát"},
    {132, "Přístup k úložišti certifikátů není v chráněném režimu povolen."},
    {133, "Proxy server vyžaduje ověřovací údaje."},
    {134, "Server vyžaduje ověřovací údaje."},
    {135, "Odeslat SMS"},
    {136, "Kód z SMS:"},
    {137, "Připojit k"},
    {138, "Ověření se nezdařilo"},
    {141, "Nelze získat kontext"},
    {143, "Nelze podepsat haš"},
    {144, "Nelze vypočítat haš dat"},
    {145, "Nelze vytvořit objekt haše"},
    {146, "Nelze získat soukromý klíč certifikátu"},
    {147, "Nelze otevřít úložiště certifikátů"},
    {148, "Certifikát nebyl nalezen"},
    {149, "Nelze zjistit velikost podpisu"},
    {150, "Chyba při přidělování paměti"},
    {151, "Neznámá chyba"},
    {152, "Přihlásit se k"},
    {153, "Funkce „%1“ není ve výpočetním výrazu podporována"},
    {154, "V parametru chybí „}“"},
    {155, "Ve výrazu chybí „}“"},
    {156, "Upozornění"},
    {157, "V úložišti certifikátů není žádný vhodný certifikát."},
    {160, "Heslo:"},
    {161, "Potvrzení hesla:"},
    {162, "Heslo k soukromému klíči"},
    {163, "Heslo k certifikátu (PFX)"},
    {164, "Heslo se neshoduje s potvrzením hesla"},
    {165, "Nelze vygenerovat soukromý klíč RSA"},
    {166, "Nelze vytvořit žádost o certifikát"},
    {167, "Nelze vytvořit soubor PFX"},
    {168, "Prázdné heslo"},
    {169, "Uložit certifikát (PFX)"},
    {170, "Nelze vytvořit název souboru se soukromým klíčem RSA"},
    {171, "Nelze vytvořit soubor se soukromým klíčem RSA: %1"},
    {172, "Nelze uložit soukromý klíč RSA: %1"},
    {173, "Nelze otevřít soubor se soukromým klíčem RSA: %1"},
    {174, "Nelze načíst soukromý klíč RSA: %1"},
    {175, "Nelze vytvořit soubor PFX: %1"},
    {176, "Nelze uložit soubor PFX: %1"},
    {177, "Soubor se soukromým klíčem RSA nebyl nalezen: %1"},
    {178, "Neplatný modul soukromého klíče RSA: %1"},
    {179, "Soubor PFX již byl uložen: %1"},
    {180, "Soubor „%1“ již existuje. Chcete jej nahradit?"},
    {181, "Všechny soubory (*.*)"},
    {182, "Výměna osobních informací (*.pfx; *.p12)"},
    {183, "Atribut %1 (%2) má v kódování UTF-8 %3 znaků, limit je %4 znaků."},
    {184,
     "Doplněk pro skenování není nainstalován nebo jej nelze spustit. Místo toho můžete vybrat "
     "soubor z disku. "},
    // The percent sign is doubled: the text goes through FormatMessageText.
    {185,
     "V hesle jsou povoleny pouze znaky ASCII:\n"
     "\n"
     "písmena, číslice, mezera a znaky\n"
     "! \" # $ %% & ' ( ) * + , - . / : ; < = > ? @ [ \\ ] ^ _ ` { | } ~"},
    {186, "Stahování náhledu podepisovaných dat..."},
    {187, "O aplikaci %1"},
    {188,
     "%1 je pohodlný pomocník pro zpracování elektronických formulářů.\n"
     "\n"
     "Při autorizaci dokumentů elektronickým podpisem nebo při použití jiných pokročilých funkcí "
     "pomáhá %1 prohlížeči se vším, co prohlížeč sám nezvládne.\n"
     "\n"
     "%1 je aplikace, která běží na pozadí.\n"
     "\n"
     "Další informace vám poskytne provozovatel elektronického formuláře, který vyplňujete."},
    {189, "Server vyžaduje %1 %2."},
    {190, "Požadovaná funkce formuláře „%1“ není v této verzi aplikace podporována."},
    {191, "Chcete aplikaci aktualizovat?"},
    {192, "Neplatné XML vlastního schématu URL"},
    {193, "Stáhněte a nainstalujte prosím novou verzi."},
    {194, "Nelze vytvořit rouru pro standardní výstup (stdout)."},
    {195, "Nelze nastavit rouru pro standardní výstup (stdout)."},
    {196, "Nelze vytvořit rouru pro standardní vstup (stdin)."},
    {197, "Nelze nastavit rouru pro standardní vstup (stdin)."},
    {198, "Chyba viditelného podpisu"},
    {199, "Nelze spustit aplikaci Evermark."},
    {200, "Nelze odeslat data aplikaci Evermark."},
    {201, "Nelze načíst data z aplikace Evermark."},
    {202, "Nesprávný formát dat aplikace Evermark."},
    {203, "Aplikaci Evermark se nepodařilo najít v registru systému Windows."},
    // Filled in printf-style by the logger, not by FormatMessageText.
    {204, "Chyba komunikace se serverem\nStav HTTP: %s\nHlavička: %s"},
    {205, "Server %1 požaduje vaše uživatelské jméno a heslo."},
    {206, "Uživatelské jméno:"},
    {207, "Uživatelské jméno"},
    {208, "Heslo"},
    {209, "Kód z SMS"},
    {210, "Kód:"},
    {211, "Kód"},
    {212, "Aktualizace aplikace"},
    {213, "Chcete stáhnout instalační balíček?"},
    {214, "Zobrazit všechny certifikáty"},
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
static_assert(IsStrictlyAscending(kCzech));

}  // namespace

std::span<const MessageEntry> Czech() {
    return kCzech;
}

}  // namespace quillbox::message_table
