// Preloaded into the unchanged tool (LD_PRELOAD) by bench_tool: it reports on stderr the moment the tool's main
// window is first painted, as "windowprobe: painted <CLOCK_MONOTONIC nanoseconds>", and changes nothing else.
// The start-up routine runs when the tool constructs its application object.

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>

#include <cstdio>
#include <ctime>

namespace {

class FirstPaint : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<QMainWindow *>(watched)) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::fprintf(stderr, "windowprobe: painted %lld\n", now.tv_sec * 1000000000LL + now.tv_nsec);
            std::fflush(stderr);
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

void installProbe()
{
    QCoreApplication *application = QCoreApplication::instance();
    application->installEventFilter(new FirstPaint(application));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
