// A certificate dialog with fixed rows that writes down every action a front end
// forwards, so the scripted and the Qt front end are tested against the same rules.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/certificate_chooser.h"

namespace quillbox::test {

class FakeCertificateChooser final : public ui::CertificateChooser {
  public:
    ui::CertificateChooserTexts texts{.caption = "Quillbox Plug-in (32b) 1.31.0.81: Sign data",
                                      .listPage = "Certificates list",
                                      .previewPage = "Data being signed",
                                      .columns = {"Issued to", "Issued by", "Issue date",
                                                  "Expiration date", "Friendly name", "Hash SHA1"},
                                      .showAll = "Show all certificates",
                                      .emptyList = {},
                                      .previewFailed = {},
                                      .confirm = "Sign",
                                      .view = "View",
                                      .cancel = "Cancel"};
    // What the list holds with the check box cleared and checked.
    std::vector<ui::CertificateRow> rows;
    std::vector<ui::CertificateRow> allRows;
    std::string rememberedId;  // preselected after each fill when listed
    bool showAll = false;
    bool previewPage = true;
    // Answers of PreviewShown in turn; nullopt stands for a failed download.
    std::vector<std::optional<std::string>> previews;
    // The fill (1: at opening, 2: the first refill) that a malformed filter breaks,
    // finishing the dialog; 0: none.
    int failingFill = 0;

    std::vector<std::string> actions;  // "open", "select 1", "confirm", ...
    std::string chosenId;
    bool confirmed = false;

    const ui::CertificateChooserTexts& Texts() const override { return texts; }
    bool HasPreviewPage() const override { return previewPage; }
    void Open() override {
        actions.push_back("open");
        Fill();
    }
    const std::vector<ui::CertificateRow>& Rows() const override {
        return showAll ? allRows : rows;
    }
    std::optional<std::size_t> Selection() const override { return selection_; }
    bool ShowAll() const override { return showAll; }
    bool CanConfirm() const override { return selection_.has_value(); }
    void Select(std::optional<std::size_t> row) override {
        actions.push_back(row ? "select " + std::to_string(*row) : "select none");
        selection_ = row && *row < Rows().size() ? row : std::nullopt;
    }
    void SetShowAll(bool value) override {
        actions.push_back(value ? "showall 1" : "showall 0");
        showAll = value;
        Fill();
    }
    void Confirm() override {
        actions.push_back("confirm");
        Finish(selection_);
    }
    void DoubleClick(std::size_t row) override {
        actions.push_back("doubleclick " + std::to_string(row));
        Finish(selection_);
    }
    void Cancel() override {
        actions.push_back("cancel");
        finished_ = true;
    }
    void View() override { actions.push_back("view"); }
    std::optional<std::string> PreviewShown() override {
        actions.push_back("preview");
        if (previewCalls_ >= previews.size()) {
            return std::nullopt;
        }
        return previews[previewCalls_++];
    }
    bool Finished() const override { return finished_; }

    // The actions as one text: "open, select 1, confirm".
    std::string Log() const {
        std::string log;
        for (const std::string& action : actions) {
            log += (log.empty() ? "" : ", ") + action;
        }
        return log;
    }

  private:
    void Fill() {
        selection_.reset();
        if (++fills_ == failingFill) {
            finished_ = true;
            return;
        }
        const auto& listed = Rows();
        for (std::size_t i = 0; i < listed.size(); ++i) {
            if (!rememberedId.empty() && listed[i].certificateId == rememberedId) {
                selection_ = i;
            }
        }
    }
    void Finish(std::optional<std::size_t> row) {
        if (row) {
            chosenId = Rows()[*row].certificateId;
            confirmed = true;
            finished_ = true;
        }
    }

    std::optional<std::size_t> selection_;
    std::size_t previewCalls_ = 0;
    int fills_ = 0;
    bool finished_ = false;
};

// Rows with Czech and Slovak names, sorted as the dialog sorts them; "Show all
// certificates" adds a second "Jan Novák" and "Zuzana Čierna".
inline std::vector<ui::CertificateRow> SampleRows(bool all) {
    std::vector<ui::CertificateRow> rows = {
        {"Jan Novák", "Kvítkov Qualified CA 1", "12. 3. 2025", "12. 3. 2026", "Podpis Jan",
         "3q2+7w=="},
        {"Jiří Dvořák", "Kvítkov Qualified CA 2", "1. 7. 2025", "1. 7. 2026", "",
         "AAECAwQFBgcICQoLDA0ODxAREhM="},
        {"Ľubica Šťastná", "Tatra Demo Qualified CA", "15. 9. 2025", "15. 9. 2027", "Úradný podpis",
         "ZmFrZS1pZC0z"}};
    if (all) {
        rows.insert(rows.begin() + 2, {"Zuzana Čierna", "Tatra Demo CA", "2. 2. 2025", "2. 2. 2027",
                                       "Prihlásenie", "ZmFrZS1pZC00"});
        rows.insert(rows.begin() + 1,
                    {"Jan Novák", "Test CA", "5. 5. 2025", "5. 5. 2026", "E-mail", "ZmFrZS1pZC01"});
    }
    return rows;
}

// The sample rows, with Ľubica's certificate (row 2) remembered.
inline FakeCertificateChooser SampleChooser() {
    FakeCertificateChooser chooser;
    chooser.rows = SampleRows(false);
    chooser.allRows = SampleRows(true);
    chooser.rememberedId = chooser.rows[2].certificateId;
    return chooser;
}

}  // namespace quillbox::test
