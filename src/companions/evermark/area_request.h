// The signer's side of the bridge: the "getarea" request file, the "output.io2" answer in
// the temporary folder, and the area text.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <optional>
#include <string>

namespace quillbox::companions {

// The PDF path of a request file holding "getarea", the path's length in UTF-16 units and
// the path, each line ended by a line feed; none when the file says anything else.
std::optional<std::string> ReadAreaRequest(const std::string& requestFile);

// Writes "code\ntext\n" as "output.io2" in folder, created afresh (0600, never through a
// link), synced, then renamed into place. False when it cannot.
bool WriteAnswer(const std::string& folder, int code, const std::string& text);

// "page=2;x=72.0;y=96.5;w=180.0;h=50.0": the page number from 1 and the rectangle in PDF
// points from the page's lower-left corner, one decimal. rect is in points from the
// page's top-left corner, as shown; pageSize the page's size in points.
std::string AreaText(int page, const QRectF& rect, const QSizeF& pageSize);

}  // namespace quillbox::companions
