// The installed command itself: exit statuses, one-line errors, and no
// partial output when it fails.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProcessResult {
    int status;
    QByteArray out, err;
};

ProcessResult runFilter(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(VISTREL_FILTER_PATH), args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

TEST(FilterBinary, ExitStatusesAndOutputs) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString input = dir.filePath("in.png");
    QImage image(9, 7, QImage::Format_RGB32);
    image.fill(qRgb(0, 255, 0));
    ASSERT_TRUE(image.save(input));
    const QString output = dir.filePath("out.jpg"); // PNG whatever the extension

    ProcessResult ok = runFilter({"--smooth=2", input, output, "--colour", "simulate"});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    const QImage result(output);
    EXPECT_EQ(result.size(), QSize(17, 13));
    EXPECT_EQ(result.pixel(8, 6), qRgb(145, 107, 1));
    QFile written(output);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.read(4) == "\x89PNG");
    written.close();

    ProcessResult probe = runFilter({"--probe", input});
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.out, "clLime\nR = 0\nG = 255\nB = 0\n");

    ProcessResult usage = runFilter({"--colour", "sepia", input, output});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err.count('\n'), 1) << usage.err.toStdString();

    // A failure to decode leaves an existing output alone and no temporary file.
    QFile broken(dir.filePath("broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n truncated");
    broken.close();
    ProcessResult bad = runFilter({broken.fileName(), output});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err.count('\n'), 1) << bad.err.toStdString();
    EXPECT_EQ(QImage(output).size(), QSize(17, 13));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);

    EXPECT_EQ(runFilter({input, dir.filePath("no/such/dir/out.png")}).status, 1);
    EXPECT_EQ(runFilter({input}).status, 2);
    EXPECT_EQ(runFilter({"--smooth", "5", input, output}).status, 2);
    ProcessResult missing = runFilter({dir.filePath("nothing.png"), dir.filePath("fresh.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("fresh.png")));
}
