// The scanning accessory's own window texts.
#pragma once

#include "companions/common/companion.h"

namespace quillbox::companions::texts {

inline constexpr Text kCaption{"Skenov\u00e1n\u00ed dokumentu", "Scan a document",
                               "Skenovanie dokumentu"};
inline constexpr Text kDevice{"Skener:", "Scanner:", "Skener:"};
inline constexpr Text kSource{"Zdroj:", "Source:", "Zdroj:"};
inline constexpr Text kMode{"Barvy:", "Colour:", "Farby:"};
inline constexpr Text kResolution{"Rozli\u0161en\u00ed:", "Resolution:", "Rozl\u00ed\u0161enie:"};
inline constexpr Text kDpi{"%1 dpi", "%1 dpi", "%1 dpi"};
inline constexpr Text kScan{"Skenovat str\u00e1nku", "Scan a page", "Skenova\u0165 stranu"};
inline constexpr Text kRescan{"Skenovat znovu", "Scan again", "Skenova\u0165 znova"};
inline constexpr Text kDone{"Hotovo", "Done", "Hotovo"};
inline constexpr Text kCancel{"Zru\u0161it", "Cancel", "Zru\u0161i\u0165"};
inline constexpr Text kStop{"Zastavit", "Stop", "Zastavi\u0165"};
inline constexpr Text kPage{"Strana %1", "Page %1", "Strana %1"};
inline constexpr Text kNoPages{
    "Vlo\u017ete dokument do skeneru a klepn\u011bte na \u201eSkenovat str\u00e1nku\u201c.",
    "Put the document in the scanner and click \u201cScan a page\u201d.",
    "Vlo\u017ete dokument do skenera a kliknite na \u201eSkenova\u0165 stranu\u201c."};
inline constexpr Text kPages{"Naskenovan\u00e9 str\u00e1nky: %1", "Pages scanned: %1",
                             "Naskenovan\u00e9 strany: %1"};
inline constexpr Text kScanning{"Skenuje se str\u00e1nka %1\u2026", "Scanning page %1\u2026",
                                "Skenuje sa strana %1\u2026"};
inline constexpr Text kStopped{"Skenov\u00e1n\u00ed bylo zastaveno.", "Scanning was stopped.",
                               "Skenovanie bolo zastaven\u00e9."};
inline constexpr Text kNoDevice{
    "Nebyl nalezen \u017e\u00e1dn\u00fd skener. P\u0159ipojte jej a zapn\u011bte, nebo "
    "vyberte soubor z disku.",
    "No scanner was found. Connect and switch on a scanner, or choose a file from disk.",
    "Nebol n\u00e1jden\u00fd \u017eiadny skener. Pripojte ho a zapnite, alebo vyberte "
    "s\u00fabor z disku."};
inline constexpr Text kDeviceError{"Skener ohl\u00e1sil chybu: %1",
                                   "The scanner reported an error: %1",
                                   "Skener ohl\u00e1sil chybu: %1"};

}  // namespace quillbox::companions::texts
