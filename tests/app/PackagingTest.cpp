#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kId = QString::fromLatin1(ZV_APPLICATION_ID);

struct Install {
    int exitCode = -1;
    QString output;
};

Install install(const QString& prefix, const QString& destDir = {}) {
    QProcess cmake;
    if (!destDir.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DESTDIR"_s, destDir);
        cmake.setProcessEnvironment(environment);
    }
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QString::fromUtf8(ZV_CMAKE_COMMAND),
                {u"--install"_s, QString::fromUtf8(ZV_BINARY_DIR), u"--prefix"_s, prefix});
    if (!cmake.waitForFinished(120'000))
        return {};
    return {cmake.exitCode(), QString::fromUtf8(cmake.readAll())};
}

QStringList lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class PackagingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void installsUnderAPrefix() {
        QTemporaryDir sandbox;
        // A blank in the prefix, as in a home folder named "Anna Berg".
        const QString prefix = sandbox.filePath(u"Anna Berg/.local"_s);
        const Install result = install(prefix);
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));

        const QFileInfo executable(prefix + u"/bin/zorva-viewer"_s);
        QVERIFY(executable.isFile() && executable.isExecutable());

        const QString entry = prefix + u"/share/applications/"_s + kId + u".desktop"_s;
        const QStringList entryLines = lines(entry);
        QCOMPARE(entryLines.value(0), u"[Desktop Entry]"_s);
        for (const QString& expected : QStringList{
                 u"Type=Application"_s, u"Name=Zorva Viewer"_s, u"Categories=Graphics;Photography;"_s,
                 u"MimeType=x-content/image-dcf;"_s, QString(u"Icon="_s + kId),
                 // The installed executable by its absolute path, quoted for the blank, taking a folder.
                 QString(u"Exec=\""_s + executable.filePath() + u"\" %f"_s)})
            QVERIFY2(entryLines.contains(expected),
                     qPrintable(expected + u" in\n"_s + entryLines.join(u'\n')));

        const QString validate = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
        if (!validate.isEmpty()) {
            QProcess validator;
            validator.setProcessChannelMode(QProcess::MergedChannels);
            validator.start(validate, {entry});
            QVERIFY(validator.waitForFinished(30'000));
            const QByteArray complaints = validator.readAll();
            QVERIFY2(validator.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
        }

        const QString icon = prefix + u"/share/icons/hicolor/scalable/apps/"_s + kId + u".svg"_s;
        QVERIFY(QFileInfo(icon).isFile());
        if (!QImageReader::supportedImageFormats().contains("svg"))
            QSKIP("no SVG image plugin to draw the icon with");
        QImageReader reader(icon);
        reader.setScaledSize(QSize(64, 64));
        const QImage drawn = reader.read();
        QVERIFY2(!drawn.isNull(), qPrintable(reader.errorString()));
        // A square tile: opaque in the middle, transparent in the rounded corner.
        QCOMPARE(qAlpha(drawn.pixel(32, 32)), 255);
        QCOMPARE(qAlpha(drawn.pixel(1, 1)), 0);
    }

    void stagedInstallNamesTheFinalPath() {
        QTemporaryDir sandbox;
        const Install result = install(u"/usr"_s, sandbox.filePath(u"stage"_s));
        QVERIFY2(result.exitCode == 0, qPrintable(result.output));
        QVERIFY(QFile::exists(sandbox.filePath(u"stage/usr/bin/zorva-viewer"_s)));
        const QStringList entryLines =
            lines(sandbox.filePath(u"stage/usr/share/applications/"_s + kId + u".desktop"_s));
        QVERIFY2(entryLines.contains(u"Exec=/usr/bin/zorva-viewer %f"_s), qPrintable(entryLines.join(u'\n')));
    }
};

QTEST_MAIN(PackagingTest)
#include "PackagingTest.moc"
