#pragma once

#include <QObject>

class QSocketNotifier;

namespace sonaro {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a service manager, Ctrl+C) into the `terminate`
// signal on the user-interface thread, so the program ends the same orderly way as "-exit".
// One object per process; the handlers stay installed for its lifetime.
class TerminationSignalWatcher : public QObject {
    Q_OBJECT

  public:
    explicit TerminationSignalWatcher(QObject* parent = nullptr);
    ~TerminationSignalWatcher() override;

    // False when the handlers could not be installed.
    bool isActive() const { return m_notifier != nullptr; }

  signals:
    void terminate();

  private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace sonaro
