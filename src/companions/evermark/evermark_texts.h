// The picker's own window texts.
#pragma once

#include "companions/common/companion.h"

namespace quillbox::companions::texts {

inline constexpr Text kCaption{"Oblast podpisu \u2013 %1", "Signature area \u2013 %1",
                               "Oblas\u0165 podpisu \u2013 %1"};
inline constexpr Text kPage{"Strana", "Page", "Strana"};
inline constexpr Text kOf{"z %1", "of %1", "z %1"};
inline constexpr Text kFit{"Cel\u00e1 str\u00e1nka", "Fit page", "Cel\u00e1 str\u00e1nka"};
inline constexpr Text kHint{
    "Ta\u017een\u00edm my\u0161\u00ed vyzna\u010dte na str\u00e1nce obd\u00e9ln\u00edk, kam "
    "m\u00e1 "
    "p\u0159ij\u00edt podpis. Ta\u017een\u00edm uvnit\u0159 jej posunete, ta\u017een\u00edm za "
    "okraj nebo roh zm\u011bn\u00edte jeho velikost.",
    "Drag a rectangle on the page where the signature should go. Drag its inside to move it, "
    "an edge or a corner to resize it.",
    "\u0164ahan\u00edm my\u0161ou vyzna\u010dte na str\u00e1nke obd\u013a\u017enik, kam m\u00e1 "
    "pr\u00eds\u0165 podpis. \u0164ahan\u00edm vn\u00fatri ho posuniete, \u0165ahan\u00edm za "
    "okraj alebo roh zmen\u00edte jeho ve\u013ekos\u0165."};
inline constexpr Text kNoArea{"Zat\u00edm nen\u00ed vyzna\u010dena \u017e\u00e1dn\u00e1 oblast.",
                              "No area marked yet.",
                              "Zatia\u013e nie je vyzna\u010den\u00e1 \u017eiadna oblas\u0165."};
inline constexpr Text kArea{"Strana %1: %2 \u00d7 %3 mm", "Page %1: %2 \u00d7 %3 mm",
                            "Strana %1: %2 \u00d7 %3 mm"};
inline constexpr Text kUseArea{"Pou\u017e\u00edt oblast", "Use this area",
                               "Pou\u017ei\u0165 oblas\u0165"};
inline constexpr Text kCancel{"Zru\u0161it", "Cancel", "Zru\u0161i\u0165"};
inline constexpr Text kMissing{"Dokument %1 neexistuje.", "The document %1 does not exist.",
                               "Dokument %1 neexistuje."};
inline constexpr Text kNotPdf{"Soubor %1 nen\u00ed dokument PDF nebo je po\u0161kozen\u00fd.",
                              "The file %1 is not a PDF document or is damaged.",
                              "S\u00fabor %1 nie je dokument PDF alebo je po\u0161koden\u00fd."};
inline constexpr Text kEncrypted{
    "Dokument %1 je chr\u00e1n\u011bn heslem a nelze jej otev\u0159\u00edt.",
    "The document %1 is protected by a password and cannot be opened.",
    "Dokument %1 je chr\u00e1nen\u00fd heslom a nemo\u017eno ho otvori\u0165."};
inline constexpr Text kBadRequest{
    "\u017d\u00e1dost podpisov\u00e9ho dopl\u0148ku nelze p\u0159e\u010d\u00edst.",
    "The request of the signing plug-in cannot be read.",
    "\u017diados\u0165 podpisov\u00e9ho doplnku nemo\u017eno pre\u010d\u00edta\u0165."};

}  // namespace quillbox::companions::texts
