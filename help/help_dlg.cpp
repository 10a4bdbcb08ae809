#include "help/help_dlg.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>

#include "controls/twips.h"
#include "help/help_text.h"
#include "platform/platform.h"
#include "platform/window_control.h"

namespace numarika {

HelpDlg::HelpDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kHelpCaption);
    // No icon of its own, and none taken over from an owner.
    setWindowIcon(QIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Text1 = new QPlainTextEdit(this);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The text is the program's own; edits would be lost at the next opening anyway. It can
    // still be selected and copied, and scrolled with the keyboard.
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setPlainText(helpText());
    Text1->moveCursor(QTextCursor::Start);

    Command1 = new QPushButton(QStringLiteral("閉じる"), this);
    // Neither default nor cancel button: Enter in the text does not press it.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    connect(Command1, &QPushButton::clicked, this, &HelpDlg::Command1_Click);

    // Tab order as designed: the text first, and it has the focus when the window opens.
    setTabOrder(Text1, Command1);
    Text1->setFocus(Qt::OtherFocusReason);

    place(Text1, text1_);
    place(Command1, command1_);
    resize(twipsToPixels(kHelpClientWidth), twipsToPixels(kHelpClientHeight));
    services().windows->centreOnScreen(*this);
}

float HelpDlg::ScaleWidth() const { return pixelsToTwips(width()); }
float HelpDlg::ScaleHeight() const { return pixelsToTwips(height()); }

void HelpDlg::place(QWidget* widget, const Rect& rect) {
    widget->setGeometry(twipsToPixels(rect.Left), twipsToPixels(rect.Top),
                        twipsToPixels(rect.Width), twipsToPixels(rect.Height));
}

void HelpDlg::Form_Resize() {
    const float scaleLeft = 0;
    const float scaleTop = 0;
    // Not guarded: in a very small window the button moves to negative coordinates.
    command1_.Left = ScaleWidth() - command1_.Width - 80.0f;
    command1_.Top = ScaleHeight() - command1_.Height - 80.0f;
    text1_.Left = scaleLeft + 80;
    text1_.Top = scaleTop + 80;
    const double w = roundHalfEven(ScaleWidth() - 160.0f);
    if (w > 0) text1_.Width = static_cast<float>(w);
    const double h = roundHalfEven(ScaleHeight() - command1_.Height - 240.0f);
    if (h > 0) text1_.Height = static_cast<float>(h);
    place(Command1, command1_);
    place(Text1, text1_);
}

void HelpDlg::Command1_Click() { close(); }

void HelpDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

}  // namespace numarika
