// The hand cursor shipped beside the program: a .cur file Qt must read, with
// its hotspot on the fingertip and a clean black outline around white.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPoint>
#include <QtTest>

namespace
{

int le16(const QByteArray &data, int at)
{
    return quint8(data[at]) | quint8(data[at + 1]) << 8;
}

quint32 le32(const QByteArray &data, int at)
{
    return quint32(le16(data, at)) | quint32(le16(data, at + 2)) << 16;
}

bool opaque(const QImage &image, int x, int y)
{
    return image.rect().contains(x, y) && qAlpha(image.pixel(x, y)) == 255;
}

} // namespace

class TestCursor : public QObject
{
    Q_OBJECT

    QByteArray bytes;
    QImage image;
    QPoint hotspot;

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(VELMORA_CURSOR_FILE));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        bytes = file.readAll();
        QVERIFY(bytes.size() >= 22);
        // A cursor keeps its hotspot where an icon keeps planes and bit count.
        hotspot = QPoint(le16(bytes, 10), le16(bytes, 12));
        image = QImage(QStringLiteral(VELMORA_CURSOR_FILE));
    }
    void directoryHoldsOneCursorImage()
    {
        QCOMPARE(le16(bytes, 0), 0);    // reserved
        QCOMPARE(le16(bytes, 2), 2);    // type: cursor, not icon
        QCOMPARE(le16(bytes, 4), 1);    // one image
        QCOMPARE(quint8(bytes[6]), 32); // width
        QCOMPARE(quint8(bytes[7]), 32); // height
        const quint32 size = le32(bytes, 14);
        const quint32 offset = le32(bytes, 18);
        QCOMPARE(offset, 22u);
        QCOMPARE(qint64(offset) + size, qint64(bytes.size()));
    }
    void qtReadsIt()
    {
        QImageReader reader(QStringLiteral(VELMORA_CURSOR_FILE));
        QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(32, 32));
        // The AND mask must come through as transparency.
        QVERIFY(image.hasAlphaChannel());
    }
    void hotspotIsTheFingertip()
    {
        QVERIFY2(image.rect().contains(hotspot),
                 qPrintable(QStringLiteral("hotspot %1,%2").arg(hotspot.x()).arg(hotspot.y())));
        QVERIFY(opaque(image, hotspot.x(), hotspot.y()));
        // The tip is the top of the hand: nothing is drawn above it ...
        for (int y = 0; y < hotspot.y(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(!opaque(image, x, y),
                         qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        // ... and the hotspot is the middle of the fingertip's top row.
        int left = hotspot.x();
        int right = hotspot.x();
        while (opaque(image, left - 1, hotspot.y()))
            --left;
        while (opaque(image, right + 1, hotspot.y()))
            ++right;
        QVERIFY2(qAbs((hotspot.x() - left) - (right - hotspot.x())) <= 1,
                 qPrintable(QStringLiteral("tip spans %1..%2").arg(left).arg(right)));
        QVERIFY2(right - left + 1 <= 5, "the tip is too wide for a fingertip");
    }
    void outlineIsBlackAndInsideWhite()
    {
        int white = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                const int alpha = qAlpha(pixel);
                QVERIFY2(alpha == 0 || alpha == 255, "a cursor pixel is either shown or not");
                if (alpha == 0)
                    continue;
                const bool black = (pixel & 0xffffff) == 0;
                QVERIFY2(black || (pixel & 0xffffff) == 0xffffff, "only black and white are drawn");
                const bool edge = !opaque(image, x - 1, y) || !opaque(image, x + 1, y) ||
                                  !opaque(image, x, y - 1) || !opaque(image, x, y + 1);
                QVERIFY2(!edge || black,
                         qPrintable(QStringLiteral("white edge pixel at %1,%2").arg(x).arg(y)));
                white += black ? 0 : 1;
            }
        }
        QVERIFY2(white >= 100, "the hand should be mostly white inside its outline");
        QVERIFY(!opaque(image, 0, 0));
        QVERIFY(!opaque(image, 31, 0));
    }
};

QTEST_MAIN(TestCursor)
#include "tst_cursor.moc"
