#pragma once

#include <QObject>
#include <QUrl>

class QSoundEffect;

// The short sounds a station run by its profile plays on PASS and FAIL, off unless switched on. The sounds are
// loaded once they are switched on and played by the system's audio; a computer without audio plays nothing and
// nothing waits for it.
class VerdictSound : public QObject
{
    Q_OBJECT
public:
    explicit VerdictSound(QObject *parent = nullptr);

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled; }
    // Plays the PASS or the FAIL sound when switched on; returns at once.
    void play(bool passed);
    // How many sounds were asked for since the start (played or, without audio, not).
    int playCount() const { return played; }

    static QUrl passSource();
    static QUrl failSource();

private:
    QSoundEffect *effect(bool passed);

    bool enabled = false;
    int played = 0;
    QSoundEffect *passEffect = nullptr;
    QSoundEffect *failEffect = nullptr;
};
