#pragma once
// Every way of ending the program goes through the main window's close, so that
// Form_QueryUnload releases the hot key and restores the message procedure:
//  - the menu entry 終了, the close box and the window manager's close are closes already;
//  - SIGTERM, SIGINT and SIGHUP close the window (and any modal box in front of it);
//  - the session manager ending the session closes the window;
//  - the application quitting by any other road runs Form_QueryUnload on its way out.

#include <QObject>
#include <memory>

class QApplication;
class QSocketNotifier;

namespace numarika {

class ShutdownPaths final : public QObject {
    Q_OBJECT
  public:
    // Installs the signal handlers; one instance at a time.
    explicit ShutdownPaths(QApplication& app);
    // Puts the previous signal handlers back.
    ~ShutdownPaths() override;

    // A signal or the session's end asked the program to end. A request that arrives before
    // the main window exists (or while its start-up still runs) is kept here, so that the
    // caller does not go on to show the window.
    bool requested() const { return requested_; }

    // Closes what is open, modal boxes first, then the main window.
    void closeEverything();

  private:
    void onSignalByte();

    bool requested_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace numarika
