// The certificate dialog as a front end sees it. What is listed, what is enabled and what
// a click does are decided behind this interface (in the signing layer); a front end shows
// the rows and texts it is given and forwards the person's actions, then asks again.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quillbox::ui {

// One row of the list, already formatted for display (UTF-8).
struct CertificateRow {
    std::string displayName;
    std::string issuerName;
    std::string validFrom;
    std::string validTo;
    std::string friendlyName;
    std::string certificateId;  // shown in a hidden column
};

// Column order of CertificateRow; the last one is hidden.
inline constexpr std::array<int, 6> kCertificateColumnWidths = {120, 120, 80, 80, 200, 0};

struct CertificateChooserTexts {
    std::string caption;
    std::string listPage;     // "Certificates list"
    std::string previewPage;  // "Data being signed"; only used when HasPreviewPage()
    std::array<std::string, 6> columns;
    std::string showAll;  // "Show all certificates"
    // Shown in place of the rows when the list holds none, so the person knows why.
    std::string emptyList;
    // Shown on the preview page while no preview could be loaded.
    std::string previewFailed;
    std::string confirm;  // "Sign" or "OK"
    std::string view;
    std::string cancel;
};

// Actions never throw: a failure inside one (a malformed filter while the list is
// refilled, "View" of a vanished certificate) finishes the dialog, and whoever showed it
// reports the failure after the front end has closed its window.
class CertificateChooser {
  public:
    virtual ~CertificateChooser() = default;

    virtual const CertificateChooserTexts& Texts() const = 0;
    // A second page with the preview of the data being signed.
    virtual bool HasPreviewPage() const = 0;

    // Once, when the window opens: reads the remembered state and fills the list.
    virtual void Open() = 0;

    virtual const std::vector<CertificateRow>& Rows() const = 0;
    // The selected row; after Open or a refill, the remembered certificate when listed.
    virtual std::optional<std::size_t> Selection() const = 0;
    virtual bool ShowAll() const = 0;
    // Whether the confirm and "View" buttons are enabled.
    virtual bool CanConfirm() const = 0;

    virtual void Select(std::optional<std::size_t> row) = 0;
    // The "Show all certificates" check box was clicked: the list is filled again.
    virtual void SetShowAll(bool showAll) = 0;
    virtual void Confirm() = 0;
    virtual void DoubleClick(std::size_t row) = 0;
    // The cancel button, Escape or closing the window.
    virtual void Cancel() = 0;
    // Shows the certificate viewer for the selected row (a nested dialog).
    virtual void View() = 0;
    // The preview page was brought to the front. Loads the preview the first time it
    // succeeds (a download with the wait dialog) and returns the text to show; nothing
    // while no preview could be loaded.
    virtual std::optional<std::string> PreviewShown() = 0;

    // True once the window must close: confirmed, cancelled, or an action failed.
    virtual bool Finished() const = 0;
};

}  // namespace quillbox::ui
