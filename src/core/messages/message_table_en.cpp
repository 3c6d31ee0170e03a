// English texts. Number 100 exists only here.
#include "core/messages/message_table.h"

namespace quillbox::message_table {
namespace {

constexpr MessageEntry kEnglish[] = {
    {100, "Ovo"},
    {101, "Quillbox Plug-in"},
    {102, "%1 (%2b) %3"},
    {103, "========== %1 (%2b) %3 =========="},
    {104, "%1 (%2b) %3: %4"},
    {105, "Attachment"},
    {106, "Sign data"},
    {107, "Choose certificate"},
    {108, "Autentication"},
    {109, "Certificates list"},
    {110, "Data being signed"},
    {111, "Sign"},
    {112, "OK"},
    {113, "Downloading request..."},
    {114, "Issued to"},
    {115, "Issued by"},
    {116, "Expiration date"},
    {117, "Issue date"},
    {118, "Friendly name"},
    {119, "Cancel"},
    {120, "View"},
    {121, "Error"},
    {122, "Could not create XML document."},
    {123, "Login to server %1 failed."},
    {131, "Certificate"},
    {132, "Access to the certificate store is not allowed in protected mode."},
    {133, "Proxy requires authentication data."},
    {134, "Server requires authentication data."},
    {135, "Send SMS"},
    {136, "SMS code:"},
    {137, "Connect to"},
    {138, "Authentication failed"},
    {141, "Could not acquire context"},
    {143, "Could not sign hash"},
    {144, "Could not hash data"},
    {145, "Could not create hash object"},
    {146, "Could not acquire certificate private key"},
    {147, "Could not open certificate keystore"},
    {148, "Certificate not found"},
    {149, "Getting signed blob size failed"},
    {150, "Memory allocation error"},
    {151, "Unknown error"},
    {152, "Log in to"},
    {153, "Function \"%1\" not supported in calculate expression"},
    {154, "Missing \"}\" in parameter"},
    {155, "Missing \"}\" in expression"},
    {156, "Warning"},
    {157, "There is no suitable certificate in the keystore."},
    {160, "Password:"},
    {161, "Confirm password:"},
    {162, "Private key password"},
    {163, "Certificate password (PFX)"},
    {164, "Password does not match the Confirm password"},
    {165, "Could not generate RSA private key"},
    {166, "Could not create certificate request"},
    {167, "Could not create PFX file"},
    {168, "Empty password"},
    {169, "Save certificate (PFX)"},
    {170, "Could not create RSA private key file name"},
    {171, "Could not create RSA private key file: %1"},
    {172, "Could not save RSA private key: %1"},
    {173, "Could not open RSA private key file: %1"},
    {174, "Could not load RSA private key: %1"},
    {175, "Could not create PFX file: %1"},
    {176, "Could not save PFX file: %1"},
    {177, "RSA private key file not found: %1"},
    {178, "Invalid RSA private key modulus: %1"},
    {179, "PFX file already saved: %1"},
    {180, "File \"%1\" already exists. Do you want to replace it?"},
    {181, "All files (*.*)"},
    {182, "Personal information exchange (*.pfx; *.p12)"},
    {183, "Attribute %1 (%2) has %3 chars in UTF-8, the size limit is %4 chars."},
    {184,
     "Accessory for scan not installed or unable to start. Instead, you can select a file from "
     "disk. "},
    // The percent sign is doubled: the text goes through FormatMessageText.
    {185,
     "Only ASCII characters allowed in password:\n"
     "\n"
     "letters, digits, space and characters\n"
     "! \" # $ %% & ' ( ) * + , - . / : ; < = > ? @ [ \\ ] ^ _ ` { | } ~"},
    {186, "Downloading preview of data being signed..."},
    {187, "About %1"},
    {188,
     "%1 is a convenient assistant for processing electronic forms.\n"
     "\n"
     "When documents are authorised with electronic signatures, or when other advanced functions "
     "are used, %1 helps the browser with every feature that the browser cannot deal with by "
     "itself.\n"
     "\n"
     "%1 is an application that runs in the background.\n"
     "\n"
     "For further information, please contact the provider of the electronic form that you are "
     "filling in."},
    {189, "Server requires %1 %2."},
    {190, "Requested form function \"%1\" is not supported in current application version."},
    {191, "Do you want to upgrade?"},
    {192, "Invalid Custom URL Schema XML"},
    {193, "Download and install new version, please."},
    {194, "Could not create stdout pipe."},
    {195, "Could not set stdout pipe."},
    {196, "Could not create stdin pipe."},
    {197, "Could not set stdin pipe."},
    {198, "Visual signature error"},
    {199, "Could not start Evermark."},
    {200, "Could not send data to Evermark."},
    {201, "Could not read data from Evermark."},
    {202, "Wrong Evermark data format."},
    {203, "Could not find Evermark in Windows registry."},
    // Filled in printf-style by the logger, not by FormatMessageText.
    {204, "Server communication error\nHTTP status: %s\nHeader: %s"},
    {205, "The server %1 is asking for your user name and password."},
    {206, "User name:"},
    {207, "User name"},
    {208, "Password"},
    {209, "SMS code"},
    {210, "Code:"},
    {211, "Code"},
    {212, "Application update"},
    {213, "Do you want to download the installation package?"},
    {214, "Show all certificates"},
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
static_assert(IsStrictlyAscending(kEnglish));

}  // namespace

std::span<const MessageEntry> English() {
    return kEnglish;
}

}  // namespace quillbox::message_table
