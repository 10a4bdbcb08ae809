#pragma once
// The main window `main`: its controls and menus, and the state that the capture, canvas and
// output handlers share. The handlers are members, each defined in its subsystem's folder:
//   main_window/  Form_Load, Form_QueryUnload, m_end_Click
//   capture/      HookHotKey, UnhookHotKey, HotKeyProc (module1.cpp), m_n_cap_Click
//                 (scan.cpp), lngCursorHandle, LoadCursorHotspot,
//                 DrawCursorOverlay (cursor_overlay.cpp), m_apri/m_mouse/m_ps_key_Click
//   canvas/       Form_Resize, HScroll1/VScroll1_Change (layout.cpp), Picture2_Mouse*,
//                 TrackRange, DrawRangeBox (range_selection.cpp), mnuOptionColor_Click,
//                 m_sen_Click, m_cls_Click (pen_settings.cpp)
//   output/       CopyRangeToBuffer, m_all_clip_Click, m_all_save_Click, m_all_print_Click
//   help/         m_help_Click, m_toku_Click

#include <QMainWindow>
#include <array>

#include "controls/common_dialog.h"
#include "controls/picture_box.h"
#include "controls/win_types.h"
#include "platform/window_control.h"

class QAction;
class QMenu;
class QScrollBar;

namespace numarika {

inline const QString kMainCaption = QStringLiteral("ヌマリカ Ver1.00");
// The name of the installed desktop entry, launcher icon and metadata (packaging/).
inline const QString kApplicationId = QStringLiteral("com.example.numarika");

// Design size of the client area, twips.
inline constexpr float kDesignClientWidth = 7545;
inline constexpr float kDesignClientHeight = 5370;

class main : public QMainWindow {
    Q_OBJECT
  public:
    main();
    ~main() override;

    // The program's one main window while it exists.
    static main* instance();

    Hwnd hWnd();

    // --- shared state -------------------------------------------------------------------
    Int16 gintCurPen = 0;
    Colour lngPenColor = 0;
    Bool16 blnDragging = kFalse;
    Bool16 blnBandDrawn = kFalse;
    std::array<float, 2> sngRangeX{0, 0};
    std::array<float, 2> sngRangeY{0, 0};
    float sngRangeWidth = 0;
    float sngRangeHeight = 0;
    Int32 lngHotspotX = 0;
    Int32 lngHotspotY = 0;
    // A range is held: picked on the canvas and copied into Picture4, whose persistent drawing
    // is on only then. Saving, copying and printing then take the range, not the whole picture.
    bool rangeHeld() const { return Picture4->AutoRedraw(); }

    // --- controls -----------------------------------------------------------------------
    QWidget* client = nullptr;  // the client area
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    PictureBox* Picture3 = nullptr;
    PictureBox* Picture4 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    CommonDialog CommonDialog1;

    QMenu* m_file = nullptr;
    QMenu* m_cap = nullptr;
    QMenu* opt = nullptr;
    QMenu* t_help = nullptr;
    QAction* m_all_save = nullptr;
    QAction* m_m1 = nullptr;
    QAction* m_all_clip = nullptr;
    QAction* m_m2 = nullptr;
    QAction* m_all_print = nullptr;
    QAction* m_m3 = nullptr;
    QAction* m_end = nullptr;
    QAction* m_n_cap = nullptr;
    QAction* m_m4 = nullptr;
    QAction* m_cls = nullptr;
    QAction* mnuOptionColor = nullptr;
    QAction* m_sen = nullptr;
    QAction* m_apri = nullptr;
    QAction* m_mouse = nullptr;
    QAction* m_ps_key = nullptr;
    QAction* m_toku = nullptr;
    QAction* m_m5 = nullptr;
    QAction* m_help = nullptr;

    // --- window geometry, twips -----------------------------------------------------------
    float ScaleWidth() const;  // client area
    float ScaleHeight() const;
    float Width() const;  // outer, frame included
    float Height() const;
    void setWidth(float twips);  // resizes at once; the layout runs before it returns
    void setHeight(float twips);
    // Minimised, maximised or normal, as Qt has it (not the desktop's window control, which
    // the scan uses to take the window off the screen).
    WindowState formState() const;
    void setFormState(WindowState state);

    // --- main window ------------------------------------------------------------------------
    void Form_Load();
    void Form_QueryUnload();
    void m_end_Click();

    // --- capture ------------------------------------------------------------------------------
    // Whether a scan is running (it yields to other events in its middle).
    bool scanning() const { return scans_ > 0; }
    // Lets the window receive the Print Screen hot key, and says when the desktop takes the
    // key back; Unhook gives the key and the window's message procedure up again.
    void HookHotKey();
    void UnhookHotKey();
    void HotKeyProc();
    void m_n_cap_Click();
    Int32 lngCursorHandle();
    void LoadCursorHotspot();
    // Draws the cursor shown now onto the canvas with its hot spot at the scan-start
    // position (screen pixels). False when the position overflows (the scan's error path).
    bool DrawCursorOverlay(Int32 startX, Int32 startY);
    void m_apri_Click();
    void m_mouse_Click();
    void m_ps_key_Click();

    // --- canvas -------------------------------------------------------------------------------
    void Form_Resize();
    void VScroll1_Change();
    void HScroll1_Change();
    void Picture2_MouseDown(int button, int shift, float x, float y);
    void Picture2_MouseMove(int button, int shift, float x, float y);
    void Picture2_MouseUp(int button, int shift, float x, float y);
    void TrackRange(float x, float y, Int16 mode);
    void DrawRangeBox(float x1, float y1, float x2, float y2, Colour colour, Int16 penMode);
    void mnuOptionColor_Click();
    void m_sen_Click();
    void m_cls_Click();

    // --- output -------------------------------------------------------------------------------
    void CopyRangeToBuffer();
    void m_all_clip_Click();
    void m_all_save_Click();
    void m_all_print_Click();

    // --- help ---------------------------------------------------------------------------------
    void m_help_Click();
    void m_toku_Click();

  signals:
    // A scan has come to its end, on either of its paths.
    void scanEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void createMenus();
    QAction* addEntry(QMenu* menu, const QString& caption, void (main::*handler)());
    QAction* addSeparator(QMenu* menu);
    void layOutClientNow();

    // Whether a scan asked for has to wait (see scan.cpp); then it runs later by itself.
    bool scanWaits();

    Hwnd hwnd_ = 0;
    bool unloaded_ = false;
    bool scanWaiting_ = false;
    int scans_ = 0;
};

}  // namespace numarika
