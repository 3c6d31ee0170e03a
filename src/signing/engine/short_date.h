// The dates of the certificate list and viewer: a moment as the person's short date.
#pragma once

#include <cstdint>
#include <string>

namespace quillbox::signing {

// The local date of a moment (seconds since 1970-01-01 UTC), written the way the message
// language writes short dates: "6. 12. 2026" in Czech and Slovak, "12/6/2026" otherwise.
// Empty when the moment has no local date.
std::string ShortDate(std::int64_t utcSeconds, std::uint16_t language);

}  // namespace quillbox::signing
