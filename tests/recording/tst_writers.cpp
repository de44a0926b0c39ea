#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <cerrno>
#include <optional>
#include <vector>

#include "base/fileerror.h"
#include "base/outputfile.h"
#include "platform/captureformat.h"
#include "recording/capturedefinition.h"
#include "recording/csvwriter.h"
#include "recording/wavwriter.h"
#include "support/filesizelimit.h"
#include "wavcheck.h"

using namespace veruziva;
using wavcheck::Le32;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<std::byte> Block(int frames, std::int16_t first) {
    std::vector<StereoFrame> samples(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = {static_cast<std::int16_t>(first + static_cast<int>(i)),
                      static_cast<std::int16_t>(-first)};
    }
    const auto* bytes = reinterpret_cast<const std::byte*>(samples.data());
    return {bytes, bytes + samples.size() * sizeof(StereoFrame)};
}

}  // namespace

class TestWriters : public QObject {
    Q_OBJECT

private slots:
    void headerBytes();
    void cutAtThePlannedSize();
    void endedEarlyTheHeaderIsTrue();
    void soxAndSndfileReadWhatWasWritten();
    void captureSeconds_data();
    void captureSeconds();
    void csvLines();
    void rowReading_data();
    void rowReading();
    void fileErrors_data();
    void fileErrors();
    void errorTexts_data();
    void errorTexts();
    void aPipeWithAReaderIsRefusedToo();
    void wholeFiles_data();
    void wholeFiles();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestWriters::headerBytes() {
    const auto header = WavHeader(176400);
    const QByteArray bytes(reinterpret_cast<const char*>(header.data()), 44);
    QCOMPARE(bytes.left(4), QByteArray("RIFF"));
    QCOMPARE(Le32(bytes, 4), 176436u);
    QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(Le32(bytes, 16), 16u);
    QCOMPARE(QByteArray(bytes.mid(20, 16)).toHex(), QByteArray("0100"
                                                               "0200"
                                                               "44ac0000"
                                                               "10b10200"
                                                               "0400"
                                                               "1000"));
    QCOMPARE(bytes.mid(36, 4), QByteArray("data"));
    QCOMPARE(Le32(bytes, 40), 176400u);
}

void TestWriters::cutAtThePlannedSize() {
    // 1 s = 176400 bytes: ten full blocks and 12560 bytes of the eleventh, then nothing.
    WavWriter wav;
    wav.create(path("cut.wav"), 176400);
    std::uint32_t written = 0;
    for (int block = 0; block < 13; ++block) {
        written += wav.append(Block(FramesPerBuffer, static_cast<std::int16_t>(block)));
    }
    QCOMPARE(written, 176400u);
    QCOMPARE(wav.savedCount(), 176400u);
    wav.close();
    const QString problem = wavcheck::Problem(path("cut.wav"), 176400);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestWriters::endedEarlyTheHeaderIsTrue() {
    WavWriter wav;
    wav.create(path("early.wav"), 10 * 176400);
    QCOMPARE(Le32(Read(path("early.wav")), 40), 1764000u);  // the plan, while it runs
    wav.append(Block(FramesPerBuffer, 0));
    wav.append(Block(1000, 0));  // a partly recorded block: only its frames
    wav.close();
    const QString problem = wavcheck::Problem(path("early.wav"), 16384 + 4000);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestWriters::soxAndSndfileReadWhatWasWritten() {
    WavWriter wav;
    wav.create(path("read.wav"), 3 * 16384);
    wav.append(Block(FramesPerBuffer, 100));
    wav.append(Block(FramesPerBuffer, 200));
    wav.close();  // ended early: two blocks of the three planned
    QCOMPARE(wavcheck::Soxi(path("read.wav")), QStringLiteral("2 44100 8192"));
    SF_INFO info{};
    SNDFILE* file = sf_open(path("read.wav").toLocal8Bit().constData(), SFM_READ, &info);
    QVERIFY(file);
    QCOMPARE(info.frames, sf_count_t{8192});
    std::vector<short> samples(2 * 8192);
    QCOMPARE(sf_readf_short(file, samples.data(), 8192), sf_count_t{8192});
    sf_close(file);
    QCOMPARE(samples[0], short{100});
    QCOMPARE(samples[1], short{-100});
    QCOMPARE(samples[2 * 4096], short{200});
    QCOMPARE(samples[2 * 8191], short{200 + 4095});
}

void TestWriters::captureSeconds_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("seconds");
    QTest::newRow("empty") << "" << 0 << 1;
    QTest::newRow("letters") << "abc" << 0 << 1;
    QTest::newRow("0.4") << "0.4" << 0 << 1;
    QTest::newRow("0.4 min") << "0.4" << 1 << 60;
    QTest::newRow("12000 s") << "12000" << 0 << 9999;
    QTest::newRow("12000 min") << "12000" << 1 << 599940;
    QTest::newRow("1,5") << "1,5" << 0 << 2;
    QTest::newRow("2.5 to even") << "2.5" << 0 << 2;
    QTest::newRow("3.5 to even") << "3.5" << 0 << 4;
    QTest::newRow("10") << "10" << 0 << 10;
    QTest::newRow("1 min") << "1" << 1 << 60;
}

void TestWriters::captureSeconds() {
    QFETCH(QString, text);
    QFETCH(int, unit);
    QFETCH(int, seconds);
    QCOMPARE(CaptureSeconds(text, unit), static_cast<std::uint32_t>(seconds));
}

void TestWriters::csvLines() {
    CsvWriter csv;
    csv.create(path("rows.csv"), ' ', ' ');
    csv.row("0.25", "1234", "-56");
    csv.close();
    CsvWriter calibrated;
    calibrated.create(path("calibrated.csv"), 'V', 'A');
    calibrated.row("0,5", "1,234", "0,512");
    calibrated.close();
    QCOMPARE(Read(path("rows.csv")), QByteArray("time;A[ ];B[ ]\r\n0.25;1234;-56\r\n"));
    QCOMPARE(Read(path("calibrated.csv")), QByteArray("time;A[V];B[A]\r\n0,5;1,234;0,512\r\n"));
}

void TestWriters::rowReading_data() {
    QTest::addColumn<QString>("readout");
    QTest::addColumn<QString>("row");
    QTest::newRow("raw") << "1234  "
                         << "1234";
    QTest::newRow("raw negative") << "-32768  "
                                  << "-32768";
    QTest::newRow("volts") << "1.500V "
                           << "1.500";
    QTest::newRow("amperes") << "-0.500A "
                             << "-0.500";
    QTest::newRow("comma") << "1,500V "
                           << "1,500";
    QTest::newRow("scientific") << "1.235E4V "
                                << "1.235E4";
}

void TestWriters::rowReading() {
    QFETCH(QString, readout);
    QFETCH(QString, row);
    QCOMPARE(RowReading(readout), row);
}

void TestWriters::fileErrors_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("a full disk") << "/dev/full"
                                 << "Disk full";
    QTest::newRow("a folder without access") << "/sys/captured.wav"
                                             << "File access denied";
    QTest::newRow("a folder that is not there") << "no/such/folder/captured.wav"
                                                << "I/O error 2: ";
    QTest::newRow("a plain file as folder") << "plain/captured.wav"
                                            << "I/O error 20: ";
    QTest::newRow("a named pipe without a reader") << "fifo"
                                                   << "Not a file: ";
}

void TestWriters::fileErrors() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    QFile plain(path("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QFile::remove(path("fifo"));
    QCOMPARE(::mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
    const QString target = file.startsWith('/') ? file : path(file);
    for (const bool wav : {true, false}) {
        try {
            if (wav) {
                WavWriter writer;
                writer.create(target, 176400);
            } else {
                CsvWriter writer;
                writer.create(target, ' ', ' ');
            }
            QFAIL("the file was created");
        } catch (const FileError& error) {
            QVERIFY2(QString::fromStdString(error.what()).startsWith(message), error.what());
        }
    }
}

void TestWriters::errorTexts_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("no access") << EACCES << "File access denied";
    QTest::newRow("not permitted") << EPERM << "File access denied";
    QTest::newRow("read-only file system") << EROFS << "File access denied";
    QTest::newRow("no space") << ENOSPC << "Disk full";
    QTest::newRow("quota") << EDQUOT << "Disk full";
    QTest::newRow("file too large") << EFBIG << "Disk full";
    QTest::newRow("anything else") << EIO << "I/O error 5: Input/output error (x.csv)";
}

void TestWriters::errorTexts() {
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(FileErrorText(error, QStringLiteral("x.csv")), text);
}

void TestWriters::aPipeWithAReaderIsRefusedToo() {
    // A reader is there now, but may stop reading at any time: a recording never goes into
    // a pipe, and "-" is a file like any other in the window.
    QFile::remove(path("fifo"));
    QCOMPARE(::mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
    const int reader = ::open(path("fifo").toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    CsvWriter writer;
    QVERIFY_THROWS_EXCEPTION(FileError, writer.create(path("fifo"), ' ', ' '));
    ::close(reader);
    const QString folder = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    writer.create(QStringLiteral("-"), ' ', ' ');
    writer.close();
    QDir::setCurrent(folder);
    QCOMPARE(Read(path("-")), QByteArray("time;A[ ];B[ ]\r\n"));
}

void TestWriters::wholeFiles_data() {
    QTest::addColumn<QByteArray>("before");  // empty: no file of that name
    QTest::addColumn<bool>("link");          // the name is a symbolic link to the file
    QTest::addColumn<bool>("full");          // writes fail past 1000 bytes
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("mode");
    QTest::newRow("a new file") << QByteArray() << false << false << QString() << 0644;
    QTest::newRow("over a file, its mode kept")
        << QByteArray("old") << false << false << QString() << 0600;
    QTest::newRow("through a symbolic link")
        << QByteArray("old") << true << false << QString() << 0600;
    QTest::newRow("full disk over a file")
        << QByteArray("old") << false << true << "Disk full" << 0600;
    QTest::newRow("full disk through a link")
        << QByteArray("old") << true << true << "Disk full" << 0600;
    QTest::newRow("full disk, no file before") << QByteArray() << false << true << "Disk full" << 0;
}

void TestWriters::wholeFiles() {
    QFETCH(QByteArray, before);
    QFETCH(bool, link);
    QFETCH(bool, full);
    QFETCH(QString, error);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("picture.png"));
    const QString name = link ? dir.filePath(QStringLiteral("link.png")) : file;
    if (!before.isEmpty()) {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(before);
        old.close();
        QCOMPARE(::chmod(file.toLocal8Bit().constData(), 0600), 0);
    }
    if (link) {
        QVERIFY(QFile::link(file, name));
    }
    const QByteArray bytes(64 * 1024, 'x');
    const mode_t mask = ::umask(022);
    QString thrown;
    {
        std::optional<sim::FileSizeLimit> limit;
        if (full) {
            limit.emplace(1000);
        }
        try {
            WriteWholeFile(name, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        } catch (const FileError& e) {
            thrown = QString::fromStdString(e.what());
        }
    }
    ::umask(mask);
    QCOMPARE(thrown, error);
    // A failed write leaves no part of the new file and the old one as it was.
    QCOMPARE(Read(file), error.isEmpty() ? bytes : before);
    QStringList names{QStringLiteral("picture.png")};
    if (link) {
        names.prepend(QStringLiteral("link.png"));
        QVERIFY(QFileInfo(name).isSymLink());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
             before.isEmpty() && !error.isEmpty() ? QStringList() : names);
    struct stat status {};
    if (mode != 0) {
        QCOMPARE(::stat(file.toLocal8Bit().constData(), &status), 0);
        QCOMPARE(static_cast<int>(status.st_mode & 07777), mode);
    }
}

QTEST_GUILESS_MAIN(TestWriters)
#include "tst_writers.moc"
