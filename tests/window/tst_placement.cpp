// Where the window goes: centred on the screen, and twips made whole pixels.

#include "center_on_screen.h"
#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

class FakeWindow : public TwipsWindow
{
public:
    float width = 0, height = 0, screenWidth = 0, screenHeight = 0;
    float left = -1, top = -1;
    mutable QStringList calls;

    float Width() const override { return calls << "Width", width; }
    float Height() const override { return calls << "Height", height; }
    float ScreenWidth() const override { return calls << "ScreenWidth", screenWidth; }
    float ScreenHeight() const override { return calls << "ScreenHeight", screenHeight; }
    void SetLeft(float value) override { calls << "SetLeft", left = value; }
    void SetTop(float value) override { calls << "SetTop", top = value; }
};

} // namespace

class TestPlacement : public QObject
{
    Q_OBJECT

private slots:
    void centerOnScreen_data()
    {
        // Sizes and the expected corner in twips, all of them floats.
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QSizeF>("screen");
        QTest::addColumn<QPointF>("corner");
        QTest::newRow("999 twips narrower keeps the half")
            << QSizeF(8601.f, 7200.f) << QSizeF(9600.f, 7200.f) << QPointF(499.5f, 0.f);
        QTest::newRow("odd differences")
            << QSizeF(1.f, 3.f) << QSizeF(10.f, 6.f) << QPointF(4.5f, 1.5f);
        QTest::newRow("width and height not swapped")
            << QSizeF(1000.f, 2000.f) << QSizeF(9000.f, 5000.f) << QPointF(4000.f, 1500.f);
        QTest::newRow("larger than the screen goes negative")
            << QSizeF(12001.f, 9000.f) << QSizeF(9600.f, 7200.f) << QPointF(-1200.5f, -900.f);
        QTest::newRow("half twip at large sizes")
            << QSizeF(16777215.f, 0.f) << QSizeF(16777216.f, 0.f) << QPointF(0.5f, 0.f);
        QTest::newRow("extreme sizes do not overflow")
            << QSizeF(-3e38f, 0.f) << QSizeF(3e38f, 0.f) << QPointF(3e38f, 0.f);
    }
    void centerOnScreen()
    {
        QFETCH(QSizeF, size);
        QFETCH(QSizeF, screen);
        QFETCH(QPointF, corner);
        FakeWindow window;
        window.width = float(size.width());
        window.height = float(size.height());
        window.screenWidth = float(screen.width());
        window.screenHeight = float(screen.height());

        CenterOnScreen(window);

        QVERIFY2(window.left == float(corner.x()),
                 qPrintable(QString::number(window.left, 'f', 3)));
        QVERIFY2(window.top == float(corner.y()), qPrintable(QString::number(window.top, 'f', 3)));
        // Horizontal move first, and the height is read only after it.
        QCOMPARE(window.calls, QStringList({"Width", "ScreenWidth", "SetLeft", "Height",
                                            "ScreenHeight", "SetTop"}));
    }

    void centerRealWidget()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QWidget window;
        window.resize(301, 151);
        window.move(3, 5);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        CenterOnScreen(window);

        const QRect frame = window.frameGeometry();
        QVERIFY2(std::abs(frame.center().x() - screen.center().x()) <= 1,
                 qPrintable(QString::number(frame.x())));
        QVERIFY2(std::abs(frame.center().y() - screen.center().y()) <= 1,
                 qPrintable(QString::number(frame.y())));
    }

    void twipsRounding_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("half pixel rounds away from zero") << 7.5 << 1;
        QTest::newRow("negative half pixel") << -7.5 << -1;
        QTest::newRow("just under half") << 7.4 << 0;
        QTest::newRow("NaN") << std::nan("") << 0;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << INT_MAX;
        QTest::newRow("huge negative") << -1e30 << INT_MIN;
    }
    void twipsRounding()
    {
        QFETCH(double, twips);
        QFETCH(int, pixels);
        QCOMPARE(twipsRect(twips, 15, 30, 45), QRect(pixels, 1, 2, 3));
    }
};

QTEST_MAIN(TestPlacement)
#include "tst_placement.moc"
