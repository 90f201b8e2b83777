// The "Select Port" dialog over pseudo-terminals mapped to COM numbers.

#include "app/ComSelectForm.h"
#include "platform/ComPortMap.h"
#include "platform/SerialDevice.h"
#include "tests/gui/qtservices/QtTestSupport.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <memory>

using namespace vaultix::platform;
using namespace vaultix::qttest;
using namespace vaultix::app;
using vaultix::testsupport::TPtyPair;

namespace {

class ComSelect : public ::testing::Test {
protected:
    void SetUp() override {
        SetScanDirectory("");
        ClearPortOverrides();
    }
    void TearDown() override {
        ClearPortOverrides();
        SetScanDirectory("/dev");
    }

    static QStringList Items(const TComSelectForm& Form) {
        QStringList items;
        for (int i = 0; i < Form.PortsComboBox->count(); ++i)
            items << Form.PortsComboBox->itemText(i);
        return items;
    }

    // Shows the dialog and has Answer act on it once it is open.
    static TModalResult Show(TComSelectForm& Form, std::function<void(TComSelectForm&)> Answer) {
        AnswerModal([&Form, Answer](QWidget* Open) {
            EXPECT_EQ(Open, &Form);
            Answer(Form);
        });
        return Form.ShowModal();
    }

    static void Press(QWidget* Target, int Key) {
        QKeyEvent press(QEvent::KeyPress, Key, Qt::NoModifier);
        QCoreApplication::sendEvent(Target, &press);
    }
};

} // namespace

TEST_F(ComSelect, ListsPresentAndHeldPortsInOrderAndPreselectsTheFirst) {
    TPtyPair one, held, twelve;
    SetPortOverride(12, twelve.SlavePath());
    SetPortOverride(3, held.SlavePath());
    SetPortOverride(1, one.SlavePath());
    SetPortOverride(2, "/dev/vaultix-no-such-device");
    SetPortOverride(4, "/dev/null");
    std::unique_ptr<TSerialDevice> holder;
    ASSERT_EQ(TSerialDevice::Open(held.SlavePath(), holder), 0);

    TComSelectForm form;
    EXPECT_EQ(Items(form), (QStringList{"COM1", "COM3", "COM12"}));
    // The device behind each entry shows as its tooltip.
    EXPECT_EQ(form.PortsComboBox->itemData(0, Qt::ToolTipRole).toString().toStdString(),
              one.SlavePath());
    EXPECT_EQ(form.PortsComboBox->itemData(1, Qt::ToolTipRole).toString().toStdString(),
              held.SlavePath());
    EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
    EXPECT_EQ(form.SelectedPort(), 1);
    EXPECT_TRUE(form.OkBtn->isEnabled());

    form.PortsComboBox->setCurrentIndex(2);
    EXPECT_EQ(form.SelectedPort(), 12);
}

TEST_F(ComSelect, OkGivesTheChoiceCancelAndTheCloseBoxGiveNone) {
    TPtyPair one, three;
    SetPortOverride(1, one.SlavePath());
    SetPortOverride(3, three.SlavePath());
    {
        TComSelectForm form;
        EXPECT_EQ(Show(form, [](TComSelectForm& F) { F.OkBtn->click(); }), mrOk);
        EXPECT_EQ(form.SelectedPort(), 1);
    }
    {
        TComSelectForm form;
        const TModalResult result = Show(form, [](TComSelectForm& F) {
            F.PortsComboBox->setCurrentIndex(1);
            Press(&F, Qt::Key_Return); // the default button
        });
        EXPECT_EQ(result, mrOk);
        EXPECT_EQ(form.SelectedPort(), 3);
    }
    {
        TComSelectForm form;
        EXPECT_EQ(Show(form, [](TComSelectForm& F) { F.AbortBtn->click(); }), mrAbort);
    }
    {
        TComSelectForm form;
        EXPECT_EQ(Show(form, [](TComSelectForm& F) { F.close(); }), mrCancel);
    }
    {
        TComSelectForm form;
        EXPECT_EQ(Show(form, [](TComSelectForm& F) { Press(&F, Qt::Key_Escape); }), mrCancel);
    }
}

TEST_F(ComSelect, WithNoPortOkIsUnavailableAndOnlyCancellingEnds) {
    TComSelectForm form;
    EXPECT_EQ(form.PortsComboBox->count(), 0);
    EXPECT_EQ(form.PortsComboBox->currentIndex(), -1);
    EXPECT_EQ(form.SelectedPort(), 0);
    EXPECT_FALSE(form.OkBtn->isEnabled());

    bool stillOpen = false;
    const TModalResult result = Show(form, [&](TComSelectForm& F) {
        F.OkBtn->click();
        stillOpen = F.isVisible();
        F.AbortBtn->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, mrAbort);

    // Enter cannot pick OK either: it ends the dialog without a choice.
    TComSelectForm again;
    const TModalResult entered = Show(again, [](TComSelectForm& F) { Press(&F, Qt::Key_Return); });
    EXPECT_NE(entered, mrOk);
}

TEST_F(ComSelect, LooksAsDesigned) {
    TComSelectForm form;
    EXPECT_EQ(form.windowTitle(), "Select Port");
    EXPECT_EQ(form.Label1->text(), "The configured serial port is not valid.");
    EXPECT_EQ(form.Label2->text(), "Please choose another port.");
    EXPECT_EQ(form.OkBtn->text(), "OK");
    EXPECT_EQ(form.AbortBtn->text(), "Cancel");
    EXPECT_TRUE(form.OkBtn->isDefault());
    EXPECT_FALSE(form.PortsComboBox->isEditable());
    EXPECT_EQ(form.minimumSize(), QSize(220, 161));
    EXPECT_EQ(form.maximumSize(), QSize(220, 161));
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinMaxButtonsHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowContextHelpButtonHint);
    // Tab order: OK, Cancel, the list, and round again.
    auto nextTabStop = [](QWidget* From) {
        QWidget* next = From->nextInFocusChain();
        while (next != From && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    EXPECT_EQ(nextTabStop(form.OkBtn), form.AbortBtn);
    EXPECT_EQ(nextTabStop(form.AbortBtn), form.PortsComboBox);
    EXPECT_EQ(nextTabStop(form.PortsComboBox), form.OkBtn);
    // Both labels fit inside their frame.
    for (const QLabel* label : {form.Label1, form.Label2})
        EXPECT_TRUE(form.Bevel1->geometry().contains(label->geometry()))
            << label->objectName().toStdString();
}
