// The identity the control had as a registered component. Nothing registers these on
// Linux; they are kept so support staff and old page code can match them up, and
// "quillbox version --verbose" prints them.
#pragma once

#include <string_view>

namespace quillbox::control {

inline constexpr std::string_view kClassName = "CFormFiller";
inline constexpr std::string_view kClassDescription = "Quillbox Plug-in";
inline constexpr std::string_view kClsid = "{D8950D0E-FCE7-4AE4-9370-7E4CFBC04362}";
inline constexpr std::string_view kProgId = "Ovo.FormFiller.1";
inline constexpr std::string_view kVersionIndependentProgId = "Ovo.FormFiller";
inline constexpr std::string_view kThreadingModel = "Apartment";
inline constexpr std::string_view kTypeLibraryName = "OvoLib";
inline constexpr std::string_view kTypeLibraryId = "{3E41AD92-B958-44DD-9195-C029918013D7}";
inline constexpr std::string_view kInterfaceName = "IFormFiller";
inline constexpr std::string_view kInterfaceId = "{838BBC3C-8E1C-4A36-B94D-3CC7993AF0BB}";
inline constexpr std::string_view kEventInterfaceName = "_IFormFillerEvents";
inline constexpr std::string_view kEventInterfaceId = "{A10F6AAD-68C1-4872-8E7E-371A6FE201D3}";
inline constexpr std::string_view kImplementedCategory = "{59FB2056-D625-48D0-A944-1A85B5AB2640}";
inline constexpr std::string_view kAppIdName = "Ovo";
inline constexpr std::string_view kAppId = "{384B2178-73A1-473E-85AF-5E20C02C7C1B}";
inline constexpr std::string_view kModuleName = "Ovo.DLL";

struct IdentityItem {
    std::string_view label;
    std::string_view value;
};

// In the order support staff read them.
inline constexpr IdentityItem kIdentityItems[] = {
    {"class", kClassName},
    {"description", kClassDescription},
    {"CLSID", kClsid},
    {"ProgID", kProgId},
    {"version-independent ProgID", kVersionIndependentProgId},
    {"threading model", kThreadingModel},
    {"type library", kTypeLibraryId},
    {"type library name", kTypeLibraryName},
    {"interface", kInterfaceName},
    {"interface id", kInterfaceId},
    {"event interface", kEventInterfaceName},
    {"event interface id", kEventInterfaceId},
    {"implemented category", kImplementedCategory},
    {"AppID", kAppId},
    {"AppID name", kAppIdName},
    {"module", kModuleName},
};

}  // namespace quillbox::control
