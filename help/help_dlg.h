#pragma once
// The help window `HelpDlg`: the fixed help text in a scrollable text box, and a button that
// closes the window. It exists only while it is shown: every opening creates it afresh, so
// the text always starts at its first line.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace numarika {

inline const QString kHelpCaption = QStringLiteral("ヘルプ");

// Design size of the client area, twips.
inline constexpr float kHelpClientWidth = 7095;
inline constexpr float kHelpClientHeight = 7110;

class HelpDlg : public QDialog {
    Q_OBJECT
  public:
    // Position and size of a control, twips of the window's client area.
    struct Rect {
        float Left;
        float Top;
        float Width;
        float Height;
        bool operator==(const Rect&) const = default;
    };

    // Centred on the screen at its design size. No owner: the window stands on its own, as
    // the help of the original program did.
    explicit HelpDlg(QWidget* parent = nullptr);

    QPlainTextEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;

    // The client area, twips.
    float ScaleWidth() const;
    float ScaleHeight() const;
    // Where the controls are, twips (the widgets themselves sit on whole pixels).
    const Rect& text1Rect() const { return text1_; }
    const Rect& command1Rect() const { return command1_; }

    // Lays the controls out for the current client size.
    void Form_Resize();
    // Unloads the window: closes it; the one who showed it then destroys it.
    void Command1_Click();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void place(QWidget* widget, const Rect& rect);

    Rect text1_{60, 60, 6915, 6555};
    Rect command1_{5820, 6720, 1215, 305};
};

}  // namespace numarika
