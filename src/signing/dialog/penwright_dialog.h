// The certificate dialog's rules: which certificates of the store are offered, which one
// is preselected, what the buttons and the check box do, and what is remembered in the
// user's settings. Front ends draw it through ui::CertificateChooser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/certificate_chooser.h"
#include "platform/ui/user_interface.h"

namespace quillbox::signing {

class CertificateStore;

enum class DialogPurpose : int { ChooseCertificate = 3, Sign = 4, LoginCertificate = 6 };

// Fetches the preview text of the data being signed (with the wait dialog); nothing when
// the download failed. The network layer provides it; the dialog only decides when.
using PreviewLoader = std::function<std::optional<std::string>(const std::string& url)>;

class CPenwrightDlg final : public ui::CertificateChooser {
  public:
    explicit CPenwrightDlg(PreviewLoader previewLoader = {});

    // Keeps the parameters (the store must outlive the dialog), result 0, preview not loaded.
    void Prepare(DialogPurpose purpose, const CertificateStore& store, std::string filter,
                 std::string previewUrl, std::string serverName);

    // Shows the dialog through ui and returns the result: 0 confirmed, 1 cancelled.
    // A CSignException raised inside the dialog is rethrown here, after the window closed.
    int DoModal(ui::UserInterface& ui);

    int result() const { return result_; }
    const std::string& chosenId() const { return chosenId_; }

    // (Re)fills the rows from the store, applying the tests in order. Throws what the
    // filter raises (CSignException -21, -22).
    void FillCertificateList();

    // ui::CertificateChooser
    const ui::CertificateChooserTexts& Texts() const override;
    bool HasPreviewPage() const override;
    void Open() override;
    const std::vector<ui::CertificateRow>& Rows() const override;
    std::optional<std::size_t> Selection() const override;
    bool ShowAll() const override;
    bool CanConfirm() const override;
    void Select(std::optional<std::size_t> row) override;
    void SetShowAll(bool showAll) override;
    void Confirm() override;
    void DoubleClick(std::size_t row) override;
    void Cancel() override;
    void View() override;
    std::optional<std::string> PreviewShown() override;
    bool Finished() const override;

  private:
    // Runs one of the person's actions: a failure finishes the dialog with result 1 and is
    // kept for DoModal, because a front end's event loop must not see it.
    template <typename Action>
    void Guarded(Action&& action) noexcept;
    void Finish(int result);
    void BuildTexts();

    PreviewLoader previewLoader_;
    DialogPurpose purpose_ = DialogPurpose::ChooseCertificate;
    const CertificateStore* store_ = nullptr;
    std::string filter_;
    std::string previewUrl_;
    std::string serverName_;
    bool showAll_ = false;
    std::string chosenId_;
    int result_ = 0;
    bool previewLoaded_ = false;
    std::string previewText_;
    bool finished_ = false;
    std::exception_ptr failure_;
    ui::CertificateChooserTexts texts_;
    std::vector<ui::CertificateRow> rows_;
    std::optional<std::size_t> selection_;
};

}  // namespace quillbox::signing
