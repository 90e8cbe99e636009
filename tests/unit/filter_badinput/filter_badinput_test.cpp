// vistrel-filter given bad input: every refusal is one line on the standard
// error stream with a non-zero status, and leaves no output file behind, nor
// a temporary one, nor a changed old one.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>
#include <string>
#include <vector>

namespace {

QByteArray encoded(const char* format, int width = 6, int height = 4) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A PNG whose header claims width × height (the CRC made right again, so that
// only the size is wrong).
QByteArray pngClaiming(quint32 width, quint32 height) {
    QByteArray png = encoded("png");
    // Signature (8), IHDR length and type (8), then width and height.
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    const QByteArray chunk = png.mid(12, 17); // type and body of IHDR
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : chunk) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    qToBigEndian(crc ^ 0xFFFFFFFFu, png.data() + 29);
    return png;
}

QByteArray corruptedPng() {
    QByteArray png = encoded("png", 32, 32);
    // Flip bytes in the compressed pixel data: the stream no longer inflates.
    const int idat = png.indexOf("IDAT") + 4;
    for (int i = idat; i < idat + 12; ++i)
        png[i] = static_cast<char>(png[i] ^ 0x5A);
    return png;
}

struct FilterRun {
    int status;
    QByteArray err;
};

FilterRun runFilter(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(VISTREL_FILTER_PATH), args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

struct BadInput {
    const char* name;
    QByteArray bytes;
    QStringList options;
    int status;
};

TEST(FilterBadInput, RefusedWithOneLineAndNoOutput) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray png = encoded("png");
    const std::vector<BadInput> cases = {
        {"empty file", QByteArray(), {}, 1},
        {"truncated PNG", png.left(png.size() / 2), {}, 1},
        {"PNG cut after its header", png.left(33), {}, 1},
        {"corrupt pixel data", corruptedPng(), {}, 1},
        {"BMP with 7 bits per pixel", encoded("bmp").replace(28, 2, QByteArray("\x07\x00", 2)), {}, 1},
        {"text, not a picture", QByteArray("this is not an image\n"), {}, 1},
        {"PNG claiming 2^31-1 square", pngClaiming(0x7FFFFFFF, 0x7FFFFFFF), {}, 1},
        {"PNG claiming 100000 x 100000", pngClaiming(100000, 100000), {}, 1},
        {"PPM claiming 60000 x 60000", QByteArray("P6\n60000 60000\n255\n") + QByteArray(64, '\x7f'), {}, 1},
        {"result too large when smoothed", encoded("png", 3000, 3000), {"--smooth", "12"}, 1},
        {"zero-size PPM", QByteArray("P6\n0 0\n255\n"), {}, 1},
        {"zero-width PNG", pngClaiming(0, 4), {}, 1},
        {"zero-height BMP", encoded("bmp").replace(22, 4, QByteArray(4, '\0')), {}, 1},
        {"unknown option", png, {"--sharpen"}, 2},
        {"unknown option with a value", png, {"--zoom=4"}, 2},
        {"option without its value", png, {"--colour"}, 2},
        {"squint beyond its range", png, {"--squint", "31"}, 2},
        {"squint not a number", png, {"--squint", "1e1"}, 2},
        {"smooth zoom 3", png, {"--smooth=3"}, 2},
        {"value given to --probe", png, {"--probe=yes"}, 2},
    };
    int index = 0;
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = dir.filePath(QStringLiteral("in%1").arg(index));
        QFile file(input);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();

        // A fresh output must not appear.
        const QString fresh = dir.filePath(QStringLiteral("fresh%1.png").arg(index));
        QStringList args = c.options;
        args << input << fresh;
        const FilterRun fail = runFilter(args);
        EXPECT_EQ(fail.status, c.status) << fail.err.toStdString();
        EXPECT_EQ(fail.err.count('\n'), 1) << fail.err.toStdString();
        EXPECT_TRUE(fail.err.startsWith("vistrel-filter: ")) << fail.err.toStdString();
        EXPECT_FALSE(QFile::exists(fresh));

        // An old output stays as it was.
        const QString old = dir.filePath(QStringLiteral("old%1.png").arg(index));
        QFile previous(old);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
        previous.write("previous content");
        previous.close();
        args = c.options;
        args << input << old;
        EXPECT_EQ(runFilter(args).status, c.status);
        QFile kept(old);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("previous content"));
        ++index;
    }
    // Only the inputs and the old outputs: no temporary file was left.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2 * index);
}

} // namespace
