#include "verdictsound.h"

#include <QLoggingCategory>
#include <QSoundEffect>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

VerdictSound::VerdictSound(QObject *parent)
    : QObject(parent)
{
}

QUrl VerdictSound::passSource()
{
    return QUrl(QStringLiteral("qrc:/sounds/pass.wav"));
}

QUrl VerdictSound::failSource()
{
    return QUrl(QStringLiteral("qrc:/sounds/fail.wav"));
}

void VerdictSound::setEnabled(bool on)
{
    enabled = on;
    if (!on)
        return;
    // Loaded now, so that the first verdict is heard without delay.
    effect(true);
    effect(false);
}

QSoundEffect *VerdictSound::effect(bool passed)
{
    QSoundEffect *&slot = passed ? passEffect : failEffect;
    if (!slot) {
        slot = new QSoundEffect(this);
        connect(slot, &QSoundEffect::statusChanged, this, [sound = slot] {
            // Without audio the sound stays silent; the station goes on as ever.
            if (sound->status() == QSoundEffect::Error)
                qCInfo(lcApp).noquote() << "MainWindow: the sound" << sound->source().toString()
                                        << "cannot be played on this computer";
        });
        slot->setSource(passed ? passSource() : failSource());
    }
    return slot;
}

void VerdictSound::play(bool passed)
{
    if (!enabled)
        return;
    ++played;
    effect(passed)->play();
}
