// The pen of the range box (its colour and line thickness) and the clear command, which
// takes the window back to its start view until the next scan.

#include <QAction>
#include <QEvent>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cmath>
#include <optional>

#include "controls/twips.h"
#include "main_window/main.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

namespace numarika {
namespace {

constexpr Int16 kDefaultPen = 2;
constexpr float kClearedWidth = 7665;   // twips, outer
constexpr float kClearedHeight = 6060;  // twips, outer

// The thickness as a number. An input method may well give full-width digits, point or
// sign ("３", "２．５"); compatibility normalisation makes them ASCII. Nothing when the
// text is no finite number.
std::optional<double> thicknessValue(const QString& text) {
    bool ok = false;
    const double value = text.normalized(QString::NormalizationForm_KC).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Quits an event loop when the watched window changes its size.
class ResizeWatcher : public QObject {
  public:
    explicit ResizeWatcher(QEventLoop& loop) : loop_(loop) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) loop_.quit();
        return false;
    }

  private:
    QEventLoop& loop_;
};

// A window manager restores a maximised window in its own time and gives it back the size
// it had before; a size set before that happens is lost. So wait, for a second at most and
// without taking user input, until the restored size has arrived.
void leaveMaximised(main& w) {
    constexpr int kRestoreTimeoutMs = 1000;
    const QSize maximised = w.size();
    w.setFormState(WindowState::Normal);
    if (w.size() != maximised) return;
    QEventLoop loop;
    ResizeWatcher watcher(loop);
    w.installEventFilter(&watcher);
    QTimer::singleShot(kRestoreTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    w.removeEventFilter(&watcher);
}

}  // namespace

void main::mnuOptionColor_Click() {
    // Cancel is no error here: the colour then is the one confirmed last, black before any.
    CommonDialog1.ShowColor();
    lngPenColor = CommonDialog1.Color();
}

void main::m_sen_Click() {
    const QString prompt = QStringLiteral(
        "線の太さを指定して下さい\r\n"
        "\u3000指定値は、1 から 5 の数字を入力（デフォルト=2）");
    const QString text = services().dialogs->inputBox(prompt, QStringLiteral("線の太さ"),
                                                      QString::number(gintCurPen));
    if (text.isEmpty()) return;

    const std::optional<double> value = thicknessValue(text);
    // An entry above 0 and up to 0.5 rounds to 0, and a pen is at least one pixel wide: it
    // is treated like any other width that cannot be used.
    if (value && *value > 0 && *value < 6) {
        const auto pen = static_cast<Int16>(roundHalfEven(*value));
        if (pen >= 1) {
            gintCurPen = pen;
            return;
        }
    }
    gintCurPen = kDefaultPen;
    services().dialogs->messageBox(QStringLiteral("線の太さをデフォルト(2)に戻しました"));
}

void main::m_cls_Click() {
    m_all_save->setEnabled(false);
    m_all_clip->setEnabled(false);
    m_all_print->setEnabled(false);
    Picture2->setVisible(false);
    Picture4->setVisible(false);
    // A maximised window cannot take a size: it goes back to normal first.
    if (formState() == WindowState::Maximized) leaveMaximised(*this);
    setWidth(kClearedWidth);
    setHeight(kClearedHeight);
}

}  // namespace numarika
