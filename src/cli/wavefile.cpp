#include "wavefile.h"

#include <QFile>
#include <QtEndian>

namespace {

const QString needed = QStringLiteral("--transcribe needs 16 kHz mono 16-bit PCM WAV");

constexpr quint16 pcm = 1;
constexpr quint16 floatingPoint = 3;
constexpr quint16 extensible = 0xfffe;

QString describe(quint32 rate, quint16 channels, quint16 bits, quint16 format)
{
    const QString layout = channels == 1   ? QStringLiteral("mono")
                           : channels == 2 ? QStringLiteral("stereo")
                                           : QStringLiteral("%1-channel").arg(channels);
    const QString coding =
        format == pcm ? QStringLiteral("%1-bit PCM").arg(bits)
        : format == floatingPoint
            ? QStringLiteral("%1-bit float").arg(bits)
            : QStringLiteral("compressed (format 0x%1)").arg(format, 4, 16, QLatin1Char('0'));
    return QStringLiteral("%1 Hz %2 %3 WAV").arg(rate).arg(layout, coding);
}

} // namespace

WaveFile WaveFile::read16kMono(const QString &path)
{
    WaveFile wave;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        wave.problem = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return wave;
    }
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") {
        wave.problem = QStringLiteral("%1 is not a WAV file; %2").arg(path, needed);
        return wave;
    }

    bool formatSeen = false;
    while (true) {
        const QByteArray header = file.read(8);
        if (header.size() < 8) {
            wave.problem = QStringLiteral("%1 is a WAV file without %2; %3")
                               .arg(path,
                                    formatSeen ? QStringLiteral("audio data")
                                               : QStringLiteral("a format description"),
                                    needed);
            return wave;
        }
        const QByteArray id = header.left(4);
        const quint32 size = qFromLittleEndian<quint32>(header.constData() + 4);
        const qint64 start = file.pos();
        if (id == "fmt ") {
            const QByteArray format = file.read(qMin<quint32>(size, 40));
            if (format.size() < 16) {
                wave.problem = QStringLiteral("%1 is not a WAV file; %2").arg(path, needed);
                return wave;
            }
            quint16 tag = qFromLittleEndian<quint16>(format.constData());
            const quint16 channels = qFromLittleEndian<quint16>(format.constData() + 2);
            const quint32 rate = qFromLittleEndian<quint32>(format.constData() + 4);
            const quint16 bits = qFromLittleEndian<quint16>(format.constData() + 14);
            if (tag == extensible && format.size() >= 26) { // the sub-format's first two bytes
                tag = qFromLittleEndian<quint16>(format.constData() + 24);
            }
            if (tag != pcm || channels != 1 || rate != 16000 || bits != 16) {
                wave.problem = QStringLiteral("%1 is %2; %3")
                                   .arg(path, describe(rate, channels, bits, tag), needed);
                return wave;
            }
            formatSeen = true;
        } else if (id == "data" && formatSeen) {
            const QByteArray data = file.read(qMin(qint64(size), file.size() - file.pos()));
            const qsizetype count = data.size() / 2;
            wave.samples.resize(size_t(count));
            for (qsizetype i = 0; i < count; ++i) {
                wave.samples[size_t(i)] =
                    qFromLittleEndian<qint16>(data.constData() + 2 * i) / 32768.0f;
            }
            return wave;
        }
        // Chunks are padded to an even size.
        file.seek(start + qint64(size) + (size & 1));
    }
}
