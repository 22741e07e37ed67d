#include "ui/busy_wait.h"

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/process.h"
#include "ui/qt_text.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace varnel {

namespace {

int g_waits = 0;

} // namespace

// One wait: counts as busy while it lives and shows the indicator once the wait grows long.
class BusyWaits::Wait {
public:
    explicit Wait(bool cancellable) : m_cancellable(cancellable) { ++g_waits; }
    ~Wait() { --g_waits; }
    Wait(const Wait&) = delete;
    Wait& operator=(const Wait&) = delete;

    // One turn of the waiting loop: lets the windows paint; true when the user asked to cancel.
    bool Turn(unsigned elapsedMs) {
        // Only the thread of the windows can keep them alive.
        if (!QApplication::instance() || QThread::currentThread() != QApplication::instance()->thread())
            return false;
        if (!m_dialog && elapsedMs >= kBusyIndicatorAfterMs)
            Show();
        // Before the indicator shows, the user's input waits; once it shows, it is modal and
        // takes the input itself, so its Cancel button can be pressed.
        QApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
        return m_dialog && m_dialog->wasCanceled();
    }

private:
    void Show() {
        m_dialog = std::make_unique<QProgressDialog>(QApplication::activeWindow());
        m_dialog->setObjectName("BusyIndicator");
        m_dialog->setWindowTitle(QApplication::applicationName());
        m_dialog->setLabelText(FromAnsi(Message(Msg::PleaseWait)));
        m_dialog->setRange(0, 0); // no end known: the bar moves to and fro
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        if (m_cancellable)
            m_dialog->setCancelButtonText(FromAnsi(GetCaption(151)));
        else
            m_dialog->setCancelButton(nullptr);
        m_dialog->setMinimumDuration(0);
        if (platform::ChildWindowWait::Active()) {
            // A plugin's own dialog is up: the indicator takes neither the focus nor the top of
            // the stack from it, and sits at the bottom of the window rather than over its middle,
            // where such dialogs open.
            m_dialog->setAttribute(Qt::WA_ShowWithoutActivating);
            if (QWidget* owner = m_dialog->parentWidget()) {
                m_dialog->adjustSize();
                const QRect area = owner->frameGeometry();
                m_dialog->move(area.center().x() - m_dialog->width() / 2,
                               area.bottom() - m_dialog->height() - 16);
            }
            m_dialog->show();
            m_dialog->lower();
            return;
        }
        m_dialog->show();
    }

    bool m_cancellable;
    std::unique_ptr<QProgressDialog> m_dialog;
};

bool BusyWaiting() {
    return g_waits > 0;
}

BusyWaits::BusyWaits() = default;
BusyWaits::~BusyWaits() = default;

bool BusyWaits::Waiting(unsigned elapsedMs, bool ended) {
    if (ended) {
        m_current.reset();
        return false;
    }
    if (!m_current)
        m_current = std::make_unique<Wait>(true);
    return m_current->Turn(elapsedMs);
}

void RunOffGuiThread(const std::function<void()>& work, std::atomic<bool>* stop) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_one();
    });
    {
        BusyWaits::Wait wait(stop != nullptr);
        const auto started = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(10), [&] { return done; })) {
            lock.unlock();
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            if (wait.Turn(static_cast<unsigned>(elapsed.count())) && stop)
                stop->store(true);
            lock.lock();
        }
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace varnel
