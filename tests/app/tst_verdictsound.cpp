// The sounds played on PASS and FAIL: built in as short, audible PCM files without a click at either end, and
// played (or, on a computer without audio, not) without holding anything up.
#include "verdictsound.h"

#include <QFile>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QtEndian>
#include <QtTest>

class VerdictSoundTest : public QObject
{
    Q_OBJECT

private slots:
    void soundIsAShortAudiblePcmFile_data();
    void soundIsAShortAudiblePcmFile();
    void soundIsPlayedOnlyWhenSwitchedOn();
};

void VerdictSoundTest::soundIsAShortAudiblePcmFile_data()
{
    QTest::addColumn<QUrl>("source");
    QTest::newRow("pass") << VerdictSound::passSource();
    QTest::newRow("fail") << VerdictSound::failSource();
}

void VerdictSoundTest::soundIsAShortAudiblePcmFile()
{
    QFETCH(QUrl, source);
    QFile file(QLatin1Char(':') + source.path());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.size() > 44);
    QCOMPARE(wav.left(4), QByteArray("RIFF"));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    QCOMPARE(u16(20), quint16(1)); // PCM
    QCOMPARE(u16(22), quint16(1)); // mono
    QCOMPARE(u16(34), quint16(16)); // bits per sample
    const quint32 rate = u32(24);
    QVERIFY(rate >= 8000 && rate <= 48000);
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    const quint32 bytes = u32(40);
    QCOMPARE(int(bytes), wav.size() - 44);
    const int samples = int(bytes / 2);
    // Heard, and over before the next node is plugged in.
    const double seconds = double(samples) / rate;
    QVERIFY2(seconds >= 0.15 && seconds <= 1.0, qPrintable(QString::number(seconds)));
    int peak = 0;
    for (int i = 0; i < samples; ++i)
        peak = qMax(peak, qAbs(int(qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * i))));
    QVERIFY2(peak > 32767 / 5 && peak < 32767, qPrintable(QString::number(peak)));
    // Starts and ends at rest: no click.
    QVERIFY(qAbs(int(qFromLittleEndian<qint16>(wav.constData() + 44))) < 300);
    QVERIFY(qAbs(int(qFromLittleEndian<qint16>(wav.constData() + 44 + 2 * (samples - 1)))) < 300);
}

void VerdictSoundTest::soundIsPlayedOnlyWhenSwitchedOn()
{
    VerdictSound sound;
    QVERIFY(!sound.isEnabled());
    sound.play(true);
    QCOMPARE(sound.playCount(), 0);
    // No sound effect is even made while the sound is off.
    QVERIFY(sound.findChildren<QSoundEffect *>().isEmpty());

    sound.setEnabled(true);
    const QList<QSoundEffect *> effects = sound.findChildren<QSoundEffect *>();
    QCOMPARE(effects.size(), 2);
    QStringList sources;
    for (QSoundEffect *effect : effects)
        sources << effect->source().toString();
    sources.sort();
    QCOMPARE(sources, QStringList({VerdictSound::failSource().toString(), VerdictSound::passSource().toString()}));
    // Played with or without an audio device; nothing here waits for it.
    sound.play(true);
    sound.play(false);
    QCOMPARE(sound.playCount(), 2);
    sound.setEnabled(false);
    sound.play(false);
    QCOMPARE(sound.playCount(), 2);
}

QTEST_MAIN(VerdictSoundTest)
#include "tst_verdictsound.moc"
