#include "signalrecorder.h"

#include <QMetaMethod>

SignalRecorder::SignalRecorder(QObject *source)
{
    const QMetaObject *meta = source->metaObject();
    // Every signal gets a slot index of its own past the methods QObject declares; qt_metacall below takes
    // the calls to those indexes, the way QSignalSpy does for one signal.
    const int firstSlot = QObject::staticMetaObject.methodCount();
    for (int index = QObject::staticMetaObject.methodCount(); index < meta->methodCount(); ++index) {
        const QMetaMethod method = meta->method(index);
        // A signal with default arguments also appears shortened; recording both would count it twice.
        if (method.methodType() != QMetaMethod::Signal || (method.attributes() & QMetaMethod::Cloned))
            continue;
        Recorded recorded{method.name(), {}};
        for (int p = 0; p < method.parameterCount(); ++p)
            recorded.parameterTypes << method.parameterType(p);
        QMetaObject::connect(source, index, this, firstSlot + m_signals.size(), Qt::AutoConnection);
        m_signals << recorded;
    }
}

int SignalRecorder::qt_metacall(QMetaObject::Call call, int id, void **arguments)
{
    id = QObject::qt_metacall(call, id, arguments);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod)
        return id;
    if (id < m_signals.size()) {
        const Recorded &recorded = m_signals.at(id);
        Emission emission{recorded.name, {}};
        for (int p = 0; p < recorded.parameterTypes.size(); ++p)
            emission.arguments << QVariant(recorded.parameterTypes.at(p), arguments[p + 1]);
        m_emissions << emission;
    }
    return id - m_signals.size();
}

QList<QByteArray> SignalRecorder::names() const
{
    QList<QByteArray> result;
    for (const Emission &emission : m_emissions)
        result << emission.signal;
    return result;
}

int SignalRecorder::count(const char *signal) const
{
    int n = 0;
    for (const Emission &emission : m_emissions)
        n += emission.signal == signal ? 1 : 0;
    return n;
}

QList<QVariantList> SignalRecorder::argumentsOf(const char *signal) const
{
    QList<QVariantList> result;
    for (const Emission &emission : m_emissions) {
        if (emission.signal == signal)
            result << emission.arguments;
    }
    return result;
}
