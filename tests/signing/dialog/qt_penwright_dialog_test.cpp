// The certificate dialog's rules inside the real Qt window, over the test tokens: what a
// person sees and clicks is what the rules decide.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include "core/messages/messages.h"
#include "core/messages/messages_testing.h"
#include "core/registry.h"
#include "platform/settings/settings_store.h"
#include "platform/ui/qt/qt_user_interface.h"
#include "qt_certificate_chooser_driver.h"
#include "signing/dialog/penwright_dialog.h"
#include "signing/engine/certificate_store.h"
#include "softhsm_token.h"
#include "test_support.h"

namespace quillbox::signing {
namespace {

using test::SoftHsmTokens;

QStringList Column(QDialog& dialog, int column) {
    QStringList texts;
    QTableWidget* list = test::List(dialog);
    for (int row = 0; row < list->rowCount(); ++row) {
        texts << list->item(row, column)->text();
    }
    return texts;
}

TEST(QtPenwrightDialogTest, ShowAllConfirmAndRememberedChoiceThroughTheWindow) {
    SoftHsmTokens::Get();
    test::TempDir temp;
    test::ScopedEnv config{"XDG_CONFIG_HOME", (temp.path() / "config").string()};
    settings::IniSettingsStore settingsFiles;
    settings::SetSettingsStore(&settingsFiles);
    SetLanguage("cs");
    pkcs11::TokenStoreOptions options;
    options.modulePath = SoftHsmTokens::kModulePath;
    const CertificateStore store(options);
    ASSERT_TRUE(WriteRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {},
                                   SoftHsmTokens::Get().Certificate("qc-sscd").id, "LastSignCert"));
    ui::QtUserInterface qt;

    QStringList strict, relaxed;
    QString preselected, caption, confirmText;
    test::ChooserDriver driver([&](QDialog& dialog) {
        caption = dialog.windowTitle();
        confirmText = test::Button(dialog, "confirm")->text();
        strict = Column(dialog, 4);
        QTableWidget* list = test::List(dialog);
        preselected = list->currentRow() >= 0 ? list->item(list->currentRow(), 4)->text() : "";
        QCheckBox* showAll = dialog.findChild<QCheckBox*>("showAll");
        showAll->setFocus();
        QTest::keyClick(showAll, Qt::Key_Space);
        relaxed = Column(dialog, 4);
        test::ClickRow(dialog, static_cast<int>(relaxed.indexOf("noku")));
        QTest::mouseClick(test::Button(dialog, "confirm"), Qt::LeftButton);
    });
    CPenwrightDlg dialog;
    dialog.Prepare(DialogPurpose::Sign, store, {}, {}, {});
    const int result = dialog.DoModal(qt);

    EXPECT_TRUE(driver.Acted());
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_TRUE(caption.contains(QString::fromStdString(LoadMessage(106))));
    EXPECT_EQ(confirmText, QString::fromStdString(LoadMessage(111)));
    EXPECT_EQ(preselected, "qc-sscd");  // the remembered one, after sorting
    EXPECT_FALSE(strict.contains("noku"));
    EXPECT_TRUE(relaxed.contains("noku"));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dialog.chosenId(), SoftHsmTokens::Get().Certificate("noku").id);
    std::uint32_t showAll = 0;
    EXPECT_TRUE(ReadRegistryValue(RegistryRoot::CurrentUser, kPluginSettingsKey, {}, nullptr,
                                  &showAll, "ShowAllCerts"));
    EXPECT_EQ(showAll, 1u);

    settings::SetSettingsStore(nullptr);
    ResetLanguageForTesting();
}

}  // namespace
}  // namespace quillbox::signing
