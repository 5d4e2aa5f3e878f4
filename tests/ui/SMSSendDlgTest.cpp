#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "MainFrameFixture.h"
#include "RecordingHost.h"
#include "core/util/Utf.h"
#include "message/GenericMessage.h"
#include "ui/dialogs/addressbook/AddressBookDlg.h"
#include "ui/dialogs/addressbook/ContactEditDlg.h"
#include "ui/dialogs/send/SMSSendDlg.h"

namespace parlane {
namespace {

using test::processQueued;

class SMSSendDlgTest : public testing::Test, public test::MainFrameFixture {
 protected:
  std::unique_ptr<SMSSendDlg> open() {
    auto dialog = std::make_unique<SMSSendDlg>(settings, &stores->addressBook(), host);
    return dialog;
  }
  void addContact(const char16_t* name, const char16_t* number, const char16_t* group) {
    stores->addressBook().put({name, number, group, u""});
  }

  test::RecordingHost host;
};

TEST_F(SMSSendDlgTest, OpensWithTheSettingsAndTheHistory) {
  settings.setInt("status_reports", 1);
  settings.setString("address.0", u"+4917012345");
  settings.setString("address.1", u"+4917054321, 0170 1111");
  auto dialog = open();
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Send SMS (PDU mode)");
  EXPECT_TRUE(dialog->reportBox()->isChecked());
  EXPECT_FALSE(dialog->flashBox()->isChecked());
  EXPECT_FALSE(dialog->pushBox()->isChecked());
  EXPECT_FALSE(dialog->sendButton()->isEnabled());
  EXPECT_FALSE(dialog->urlEdit()->isEnabled());
  EXPECT_EQ(dialog->recipientsBox()->count(), 2);
  EXPECT_EQ(dialog->recipientsBox()->itemText(1).toStdString(), "+4917054321, 0170 1111");
  EXPECT_TRUE(dialog->recipientsBox()->currentText().isEmpty());
  ASSERT_EQ(dialog->tonList()->count(), 6);
  EXPECT_EQ(dialog->tonList()->currentText().toStdString(), "Auto");
  EXPECT_EQ(dialog->tonList()->itemText(5).toStdString(), "Short code");
  EXPECT_EQ(dialog->counterText().toStdString(), "0 characters, 7-bit coding, 1 fragment(s)");

  settings.setInt("sender.send_mode", 1);
  auto textMode = open();
  EXPECT_EQ(textMode->windowTitle().toStdString(), "Send SMS (Text mode)");
  EXPECT_FALSE(textMode->flashBox()->isEnabled());
  EXPECT_FALSE(textMode->pushBox()->isEnabled());
}

TEST_F(SMSSendDlgTest, CounterFollowsTheTextAndTheTextMode) {
  auto dialog = open();
  dialog->textEdit()->setPlainText(QString(161, 'a'));
  EXPECT_EQ(dialog->counterText().toStdString(), "161 characters, 7-bit coding, 2 fragment(s)");
  dialog->textEdit()->setPlainText(QString::fromUtf8("\xD0\x96"));
  EXPECT_EQ(dialog->counterText().toStdString(), "1 characters, 16-bit coding, 1 fragment(s)");

  settings.setInt("sender.send_mode", 1);
  auto textMode = open();
  textMode->textEdit()->setPlainText(QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(textMode->counterText().toStdString(),
            "Non-ASCII symbols may not be sent in text mode");
  settings.setInt("convert_to_ascii", 1);
  auto converting = open();
  converting->recipientsBox()->setEditText("+4917012345");
  converting->textEdit()->setPlainText(QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(converting->counterText().toStdString(), "4 characters, 7-bit coding, 1 fragment(s)");
  converting->accept();
  const auto messages = converting->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]->content, u"cafe");
}

TEST_F(SMSSendDlgTest, TwoRecipientsGiveTwoMessagesAndNoTypeOfNumber) {
  auto dialog = open();
  dialog->tonList()->setCurrentIndex(3);
  dialog->recipientsBox()->setEditText("+4917012345");
  EXPECT_TRUE(dialog->tonList()->isEnabled());
  dialog->recipientsBox()->setEditText("+4917012345,+4917054321");
  EXPECT_FALSE(dialog->tonList()->isEnabled());
  EXPECT_EQ(dialog->tonList()->currentIndex(), 0) << "the list shows what applies";
  dialog->textEdit()->setPlainText("see you at eight");
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const auto messages = dialog->messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]->to, u"4917012345");
  EXPECT_EQ(messages[1]->to, u"4917054321");
  EXPECT_EQ(messages[1]->dstton, 1);
  EXPECT_EQ(settings.getString("address.0"), u"+4917012345,+4917054321");
}

TEST_F(SMSSendDlgTest, FlashAndWapPushAreNeverOnTogether) {
  auto dialog = open();
  dialog->pushBox()->click();
  EXPECT_TRUE(dialog->urlEdit()->isEnabled());
  EXPECT_FALSE(dialog->flashBox()->isEnabled());
  dialog->pushBox()->click();
  EXPECT_TRUE(dialog->flashBox()->isEnabled());
  EXPECT_FALSE(dialog->urlEdit()->isEnabled());

  dialog->flashBox()->click();
  EXPECT_FALSE(dialog->pushBox()->isEnabled());
  EXPECT_FALSE(dialog->urlEdit()->isEnabled());
  dialog->flashBox()->click();
  EXPECT_TRUE(dialog->pushBox()->isEnabled());
}

TEST_F(SMSSendDlgTest, WapPushNeedsAUrlWithAScheme) {
  auto dialog = open();
  dialog->recipientsBox()->setEditText("+4917012345");
  dialog->textEdit()->setPlainText("news");
  EXPECT_EQ(dialog->counterText().toStdString(), "4 characters, 7-bit coding, 1 fragment(s)");
  EXPECT_TRUE(dialog->sendButton()->isEnabled());
  dialog->pushBox()->click();
  dialog->counterText();
  EXPECT_FALSE(dialog->sendButton()->isEnabled()) << "a push without a URL";
  dialog->accept();
  EXPECT_NE(dialog->result(), QDialog::Accepted);

  dialog->urlEdit()->setText("example.com/news");
  EXPECT_EQ(dialog->counterText().toStdString(), "45 characters, utf-8 coding, 1 fragment(s)");
  EXPECT_TRUE(dialog->sendButton()->isEnabled());
  host.answer = false;
  dialog->accept();
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0].toStdString(),
            "The URL 'example.com/news' names no scheme. Send it as 'http://example.com/news'?");
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  host.answer = true;
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const auto messages = dialog->messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]->getType(), 2);
  EXPECT_EQ(messages[0]->getUrl(), u"http://example.com/news");
}

TEST_F(SMSSendDlgTest, AGroupFromTheAddressBookIsLabelledAndNeverRemembered) {
  addContact(u"Anna", u"+4917011111", u"Family");
  addContact(u"Ben", u"+4917022222", u"Family");
  addContact(u"Cleo", u"+4917033333", u"Work");
  settings.setString("groups.0.name", u"Family");
  settings.setString("groups.1.name", u"Work");
  settings.setString("address.0", u"+4917099999");
  host.onRun = [](QDialog& child) {
    auto* book = dynamic_cast<AddressBookDlg*>(&child);
    if (book == nullptr) return int(QDialog::Rejected);
    EXPECT_EQ(book->groupList()->count(), 3);
    EXPECT_EQ(book->contactList()->model()->rowCount(), 3);
    book->contactList()->selectAll();
    return int(QDialog::Accepted);
  };
  auto dialog = open();
  dialog->pickContactsButton()->click();
  EXPECT_EQ(dialog->recipientsBox()->currentText().toStdString(), "(3 subscribers)");
  EXPECT_EQ(dialog->recipients(),
            (std::vector<std::u16string>{u"+4917011111", u"+4917022222", u"+4917033333"}));
  EXPECT_FALSE(dialog->tonList()->isEnabled());
  dialog->textEdit()->setPlainText("meeting moved");
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->messages().size(), 3u);
  EXPECT_EQ(settings.getString("address.0"), u"+4917099999");
  EXPECT_EQ(settings.getString("address.1"), u"");

  // One group's members, and a single pick is the number itself.
  host.onRun = [](QDialog& child) {
    auto* book = dynamic_cast<AddressBookDlg*>(&child);
    book->groupList()->setCurrentText("Work");
    EXPECT_EQ(book->contactList()->model()->rowCount(), 1);
    book->contactList()->selectRow(0);
    return int(QDialog::Accepted);
  };
  auto single = open();
  single->pickContactsButton()->click();
  EXPECT_EQ(single->recipientsBox()->currentText().toStdString(), "+4917033333");
}

TEST_F(SMSSendDlgTest, RecipientsAreSavedAsContactsWithTheirGroup) {
  host.onRun = [](QDialog& child) {
    auto* editor = dynamic_cast<ContactEditDlg*>(&child);
    if (editor == nullptr) return int(QDialog::Rejected);
    editor->contactTable()->item(0, 0)->setText("Anna");
    editor->groupBox()->setEditText("Friends");
    editor->accept();
    return editor->result();
  };
  auto dialog = open();
  dialog->recipientsBox()->setEditText("+4917011111, +4917022222");
  dialog->addContactsButton()->click();
  DatabaseRecord anna;
  ASSERT_TRUE(stores->addressBook().get(u"Anna", anna));
  EXPECT_EQ(anna, (DatabaseRecord{u"Anna", u"+4917011111", u"Friends", u""}));
  DatabaseRecord unnamed;
  ASSERT_TRUE(stores->addressBook().get(u"+4917022222", unnamed));
  EXPECT_EQ(settings.getString("groups.0.name"), u"Friends");

  // Saving over a known name asks first; "No" keeps the old contact.
  host.answer = false;
  dialog->recipientsBox()->setEditText("+4917033333");
  host.onRun = [](QDialog& child) {
    auto* editor = dynamic_cast<ContactEditDlg*>(&child);
    editor->contactTable()->item(0, 0)->setText("Anna");
    editor->accept();
    return editor->result();
  };
  dialog->addContactsButton()->click();
  ASSERT_EQ(host.questions.size(), 1u);
  ASSERT_TRUE(stores->addressBook().get(u"Anna", anna));
  EXPECT_EQ(anna[1], u"+4917011111");
}

TEST_F(SMSSendDlgTest, BadInputIsCutOrNamedAndNothingHangs) {
  auto dialog = open();
  dialog->textEdit()->setPlainText(QString(12000, 'x'));
  EXPECT_EQ(dialog->textEdit()->toPlainText().size(), SMSSendDlg::kMaxTextLength);
  EXPECT_EQ(dialog->counterText().toStdString(), "10000 characters, 7-bit coding, 66 fragment(s)");

  // A thousand recipients, every tenth of them no number: one warning names the first few, and
  // the dialog stays open with what was typed.
  QStringList numbers;
  QStringList good;
  for (int i = 0; i < 1000; ++i) {
    numbers << (i % 10 == 0 ? QString("abc%1").arg(i) : QString("+49170%1").arg(100000 + i));
    if (i % 10 != 0) good << numbers.back();
  }
  dialog->recipientsBox()->setEditText(numbers.join(","));
  EXPECT_EQ(dialog->recipients().size(), 1000u);
  dialog->accept();
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  ASSERT_EQ(host.warnings.size(), 1u);
  const std::string warning = host.warnings[0].toStdString();
  EXPECT_EQ(warning.rfind("Warning: Invalid recipient number 'abc0'\n", 0), 0u) << warning;
  EXPECT_NE(warning.find("(90 more)"), std::string::npos) << warning;
  EXPECT_EQ(dialog->textEdit()->toPlainText().size(), SMSSendDlg::kMaxTextLength);
  EXPECT_EQ(dialog->recipientsBox()->currentText(), numbers.join(","));

  dialog->recipientsBox()->setEditText(good.join(","));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->messages().size(), 900u);
  EXPECT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(settings.getString("address.0"), u"") << "too long to be remembered";
}

// A sender that is a name, as banks use: the dialog refuses it as a recipient and keeps what was
// typed, instead of closing and losing the text.
TEST_F(SMSSendDlgTest, ANameAsRecipientKeepsTheDialogOpenWithTheText) {
  auto dialog = open();
  dialog->setRecipient("MyBank");
  dialog->textEdit()->setPlainText("please call me back");
  dialog->accept();
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0].toStdString(), "Warning: Invalid recipient number 'MyBank'");
  EXPECT_EQ(dialog->textEdit()->toPlainText().toStdString(), "please call me back");
  EXPECT_EQ(dialog->recipientsBox()->currentText().toStdString(), "MyBank");
  EXPECT_EQ(settings.getString("address.0"), u"") << "a refused recipient is not remembered";
}

// A number the lists refuse keeps the dialog open with what was typed and names the number; the
// others typed with it are not sent either.
TEST_F(SMSSendDlgTest, ANumberTheListsRefuseKeepsTheDialogOpen) {
  settings.setString("numbers.deny", u"+1900");
  settings.setString("ton_src_prefix", u"0");
  settings.setString("ton_dst_prefix", u"+1");
  auto dialog = open();
  dialog->recipientsBox()->setEditText("+4917012345, 09005551234");
  dialog->textEdit()->setPlainText("win a prize");
  dialog->accept();
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0].toStdString(), "Warning: 09005551234: not allowed");
  EXPECT_EQ(dialog->textEdit()->toPlainText().toStdString(), "win a prize");

  settings.setString("numbers.deny", u"");
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

// The address book buttons show contact icons of the icon theme (an installed one when the
// desktop names none), not the style's folder icons, and say what they do.
TEST_F(SMSSendDlgTest, AddressBookButtonsShowContactIconsAndSayWhatTheyDo) {
  auto dialog = open();
  auto* add = dialog->findChild<QToolButton*>("203");
  auto* pick = dialog->findChild<QToolButton*>("204");
  ASSERT_NE(add, nullptr);
  ASSERT_NE(pick, nullptr);
  EXPECT_TRUE(add->icon().name().startsWith("contact-new")) << add->icon().name().toStdString();
  EXPECT_TRUE(pick->icon().name().startsWith("x-office-address-book"))
      << pick->icon().name().toStdString();
  EXPECT_EQ(add->toolTip().toStdString(), "Add to the address book");
  EXPECT_EQ(pick->toolTip().toStdString(), "Choose from the address book");
}

TEST_F(SMSSendDlgTest, F1OpensTheSendTopic) {
  const QString before = QDir::currentPath();
  QDir::setCurrent(PARLANE_SOURCE_DIR "/data");
  auto dialog = open();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  QTest::keyClick(dialog.get(), Qt::Key_F1);
  QDir::setCurrent(before);
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_TRUE(host.opened[0].isLocalFile());
  EXPECT_TRUE(host.opened[0].toLocalFile().endsWith("data/help/send-sms.html"))
      << host.opened[0].toString().toStdString();
  EXPECT_EQ(host.opened[0].fragment().toStdString(), "104");
}

}  // namespace
}  // namespace parlane
