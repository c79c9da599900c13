#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QVariantList>

// Records the signals an object emits, all of them in one list in the order they reach the recorder's thread,
// each with its arguments. It finds the signals through the meta-object, so it needs no change when a class's
// signals change. A source living in another thread (the link) reaches it through queued connections, so
// every argument type must be registered with the meta-type system.
class SignalRecorder : public QObject
{
public:
    struct Emission
    {
        QByteArray signal; // the signal's name, without parameters ("nodeConnected")
        QVariantList arguments;
    };

    // Records every signal the source's classes below QObject declare.
    explicit SignalRecorder(QObject *source);

    QList<Emission> emissions() const { return m_emissions; }
    // The names of the signals received, in order.
    QList<QByteArray> names() const;
    int count(const char *signal) const;
    // The arguments of every emission of the signal, in order.
    QList<QVariantList> argumentsOf(const char *signal) const;
    void clear() { m_emissions.clear(); }

    int qt_metacall(QMetaObject::Call call, int id, void **arguments) override;

private:
    struct Recorded
    {
        QByteArray name;
        QList<int> parameterTypes;
    };

    QList<Recorded> m_signals; // by slot offset past QObject's own methods
    QList<Emission> m_emissions;
};
