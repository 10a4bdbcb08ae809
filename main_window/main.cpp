#include "main_window/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QImage>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QWindow>

#include "controls/twips.h"
#include "controls/user32.h"

namespace numarika {
namespace {

main* g_main = nullptr;

// Places a control at design coordinates given in twips.
void placeTwips(QWidget* w, float left, float top, float width, float height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                   twipsToPixels(height));
}

}  // namespace

main::main() {
    g_main = this;
    setWindowTitle(kMainCaption);
    setWindowIcon(QIcon::fromTheme(kApplicationId, QIcon(QStringLiteral(":/numarika/icon.png"))));
    createControls();
    createMenus();
    client->setFixedSize(twipsToPixels(kDesignClientWidth), twipsToPixels(kDesignClientHeight));
    adjustSize();
    // The design fixes the size at creation only; the user may resize afterwards. The floor
    // keeps every control at a size of zero or more (see Form_Resize).
    client->setMinimumSize(VScroll1->width() + 1 + 8, HScroll1->height() + 1 + 8);
    client->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    client->installEventFilter(this);
    Form_Load();
}

main::~main() {
    if (g_main == this) {
        g_main = nullptr;
        user32().onHotKeyLost = nullptr;
    }
}

main* main::instance() { return g_main; }

Hwnd main::hWnd() {
    if (hwnd_ == 0) hwnd_ = static_cast<Hwnd>(winId());
    return hwnd_;
}

void main::createControls() {
    client = new QWidget(this);
    setCentralWidget(client);

    Picture1 = new PictureBox(client, PictureBox::Border::Sunken);
    Picture1->Move(0, 0, 7290, 5130);
    Picture1->setAutoRedraw(true);
    Picture1->setBackdrop(QImage(QStringLiteral(":/numarika/start.jpg")));

    Picture2 = new PictureBox(Picture1);
    Picture2->Move(0, 0, 6165, 3240);
    Picture2->setAutoRedraw(true);
    Picture2->setCursor(Qt::CrossCursor);
    Picture2->hide();

    // Never shown: it only keeps the unmarked picture.
    Picture3 = new PictureBox(Picture2);
    Picture3->Move(0, 0, 2790, 1890);
    Picture3->setAutoRedraw(true);
    Picture3->hide();

    Picture4 = new PictureBox(Picture1);
    Picture4->Move(975, 3375, 5190, 390);
    Picture4->setAutoRedraw(false);
    Picture4->hide();
    Picture2->raise();  // presses on the canvas must reach the canvas

    VScroll1 = new QScrollBar(Qt::Vertical, client);
    placeTwips(VScroll1, 7275, 0, 240, 5115);
    HScroll1 = new QScrollBar(Qt::Horizontal, client);
    placeTwips(HScroll1, 0, 5100, 7290, 240);
    for (QScrollBar* bar : {VScroll1, HScroll1}) {
        bar->setRange(0, 32767);
        bar->setSingleStep(1);
        bar->setPageStep(1);
        bar->setValue(0);
    }

    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Picture2, &PictureBox::MouseDown, this, &main::Picture2_MouseDown);
    connect(Picture2, &PictureBox::MouseMove, this, &main::Picture2_MouseMove);
    connect(Picture2, &PictureBox::MouseUp, this, &main::Picture2_MouseUp);
    // On a monitor of another scale the frame holds another number of screen pixels.
    connect(Picture1, &PictureBox::pixelRatioChanged, this, [this] { Form_Resize(); });
}

QAction* main::addEntry(QMenu* menu, const QString& caption, void (main::*handler)()) {
    QAction* action = menu->addAction(caption);
    connect(action, &QAction::triggered, this, [this, action, handler] {
        // A checkable entry keeps its mark for the handler to read and set itself.
        if (action->isCheckable()) action->setChecked(!action->isChecked());
        (this->*handler)();
    });
    return action;
}

QAction* main::addSeparator(QMenu* menu) { return menu->addSeparator(); }

void main::createMenus() {
    m_file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    m_all_save = addEntry(m_file, QStringLiteral("名前を付けて保存"), &main::m_all_save_Click);
    m_m1 = addSeparator(m_file);
    m_all_clip = addEntry(m_file, QStringLiteral("クリップボード"), &main::m_all_clip_Click);
    m_m2 = addSeparator(m_file);
    m_all_print = addEntry(m_file, QStringLiteral("印刷"), &main::m_all_print_Click);
    m_m3 = addSeparator(m_file);
    m_end = addEntry(m_file, QStringLiteral("終了"), &main::m_end_Click);

    m_cap = menuBar()->addMenu(QStringLiteral("画像スキャン(&S)"));
    m_n_cap = addEntry(m_cap, QStringLiteral("スキャン(Print Screenキー)"), &main::m_n_cap_Click);
    m_m4 = addSeparator(m_cap);
    m_cls = addEntry(m_cap, QStringLiteral("クリア"), &main::m_cls_Click);

    opt = menuBar()->addMenu(QStringLiteral("オプション(&O)"));
    mnuOptionColor = addEntry(opt, QStringLiteral("色の選択"), &main::mnuOptionColor_Click);
    m_sen = addEntry(opt, QStringLiteral("線の太さ"), &main::m_sen_Click);
    m_apri = addEntry(opt, QStringLiteral("アプリケーション表示"), &main::m_apri_Click);
    m_mouse = addEntry(opt, QStringLiteral("マウスカーソル表示"), &main::m_mouse_Click);
    m_ps_key = addEntry(opt, QStringLiteral("Print Screenキースキャン無効"), &main::m_ps_key_Click);
    for (QAction* a : {m_apri, m_mouse, m_ps_key}) a->setCheckable(true);

    t_help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    m_toku = addEntry(t_help, QStringLiteral("（株）ソラメトホームページ"), &main::m_toku_Click);
    m_m5 = addSeparator(t_help);
    m_help = addEntry(t_help, QStringLiteral("ヘルプ"), &main::m_help_Click);
}

// --- geometry -------------------------------------------------------------------------------

// The client area is what the window leaves below its menu bar. Taken from the window rather
// than from the client widget, which follows a nested resize only after the layout has run.
float main::ScaleWidth() const { return pixelsToTwips(width()); }
float main::ScaleHeight() const { return pixelsToTwips(std::max(0, height() - client->y())); }
float main::Width() const { return pixelsToTwips(frameGeometry().width()); }
float main::Height() const { return pixelsToTwips(frameGeometry().height()); }

void main::setWidth(float twips) {
    const int frame = frameGeometry().width() - width();
    resize(std::max(1, twipsToPixels(twips) - frame), height());
    layOutClientNow();
}

void main::setHeight(float twips) {
    const int frame = frameGeometry().height() - height();
    resize(width(), std::max(1, twipsToPixels(twips) - frame));
    layOutClientNow();
}

// A top-level resize reaches the client area only with the next window-system event; the
// handlers that set the size expect the layout to have run before the write returns.
void main::layOutClientNow() {
    if (QLayout* l = layout()) {
        l->invalidate();
        l->activate();
    }
}

WindowState main::formState() const {
    if (isMinimized()) return WindowState::Minimized;
    if (isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

void main::setFormState(WindowState state) {
    const Qt::WindowStates keep = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
        case WindowState::Minimized:
            setWindowState(keep | Qt::WindowMinimized);
            break;
        case WindowState::Maximized:
            setWindowState(keep | Qt::WindowMaximized);
            break;
        case WindowState::Normal:
            setWindowState(keep);
            break;
    }
}

// --- events ---------------------------------------------------------------------------------

bool main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client && event->type() == QEvent::Resize) Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

void main::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Coming back from the minimised state is a size change of its own.
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void main::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    event->accept();  // the close is never cancelled
}

// --- start-up and shut-down -----------------------------------------------------------------

void main::Form_Load() {
    lngPenColor = 1;
    gintCurPen = 2;
    m_all_save->setEnabled(false);
    m_all_clip->setEnabled(false);
    m_all_print->setEnabled(false);
    m_ps_key->setChecked(true);
    m_mouse->setChecked(true);
    HookHotKey();
    m_ps_key_Click();
}

void main::Form_QueryUnload() {
    UnhookHotKey();
    unloaded_ = true;
}

void main::m_end_Click() { close(); }

}  // namespace numarika
