// Save as JPEG: the range, or the whole picture when no range is held, under a name that the
// user picks in the save dialog.

#include <QDir>

#include "controls/twips.h"
#include "main_window/main.h"
#include "output/dcsave_jpeg.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

namespace numarika {
namespace {

constexpr std::uint8_t kJpegQuality = 100;

// The source surface works in pixels while the save runs and is back in twips on every way
// out, so that range coordinates keep their unit.
class PixelScaleWhileSaving {
  public:
    explicit PixelScaleWhileSaving(PictureBox& box) : box_(box) { box_.setScaleMode(kScalePixels); }
    ~PixelScaleWhileSaving() { box_.setScaleMode(kScaleTwips); }
    PixelScaleWhileSaving(const PixelScaleWhileSaving&) = delete;
    PixelScaleWhileSaving& operator=(const PixelScaleWhileSaving&) = delete;

  private:
    PictureBox& box_;
};

}  // namespace

void main::m_all_save_Click() {
    CommonDialog1.FileName = QString();
    CommonDialog1.DefaultExt = QStringLiteral(".jpg");
    CommonDialog1.Filter = QStringLiteral("Jpegﾌｧｲﾙ(*.jpg)|*.jpg");
    CommonDialog1.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    CommonDialog1.CancelError = true;

    const bool range = rangeHeld();
    PictureBox& source = range ? *Picture4 : *Picture2;
    const QString title =
        range ? QStringLiteral("範囲内画像を保存") : QStringLiteral("画像全体を保存");
    const QString done = range ? QStringLiteral("範囲内画像を保存終了しました。")
                               : QStringLiteral("画像全体を保存終了しました。");

    const PixelScaleWhileSaving pixels(source);
    // A JPEG cannot be empty: say so rather than ask for a name for nothing. Checked again
    // after the dialog, since a scan may run while it is open.
    const auto emptySize = [&] {
        if (roundHalfEven(source.ScaleWidth()) > 0 && roundHalfEven(source.ScaleHeight()) > 0)
            return false;
        services().dialogs->messageBox(
            range ? QStringLiteral("範囲の幅または高さが0のため保存できません。")
                  : QStringLiteral("画像の幅または高さが0のため保存できません。"));
        return true;
    };
    if (emptySize()) return;

    CommonDialog1.DialogTitle = title;
    if (!CommonDialog1.ShowSave()) return;  // Cancel: no file, no message
    if (emptySize()) return;

    const auto width = static_cast<Int32>(roundHalfEven(source.ScaleWidth()));
    const auto height = static_cast<Int32>(roundHalfEven(source.ScaleHeight()));
    const QString fileName = CommonDialog1.FileName;
    const JpegSaveResult result = DCSavetoJPEG(source.hDC(), width, height, fileName, kJpegQuality);
    if (!result) {
        services().dialogs->messageBox(QStringLiteral("画像を保存できませんでした。\n") +
                                       QDir::toNativeSeparators(fileName) + QLatin1Char('\n') +
                                       result.reason());
        return;
    }
    services().dialogs->messageBox(done);
}

}  // namespace numarika
