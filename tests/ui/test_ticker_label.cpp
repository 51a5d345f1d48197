// A ticker label looks like a plain label with the same text, font,
// alignment and frame: the same ink in the same place, within a pixel (the
// plain label may kern pairs of characters). Texts it cannot lay out from
// its glyph table are painted exactly as the plain label paints them.

#include "shell/TickerLabel.h"

#include <QFontDatabase>
#include <QImage>
#include <QTest>

namespace {
struct Ink {
    QRect box;
    int pixels = 0;
};

// Where the picture differs from its top left pixel (the background).
Ink InkOf(const QImage& image)
{
    Ink ink;
    const QRgb background = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) {
                ink.box |= QRect(x, y, 1, 1);
                ++ink.pixels;
            }
    return ink;
}

// The darkest pixel within box.
QColor StrongestInk(const QImage& image, QRect box)
{
    QColor darkest = Qt::white;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (qGray(image.pixel(x, y)) < qGray(darkest.rgb()))
                darkest = QColor(image.pixel(x, y));
    return darkest;
}

template <class L>
QImage Picture(const QString& text, const QFont& font, Qt::Alignment alignment, int frame, QSize size)
{
    L label;
    label.setAutoFillBackground(true);
    label.setFont(font);
    label.setAlignment(alignment);
    label.setFrameStyle(frame);
    label.resize(size);
    label.setText(text);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    label.setPalette(palette);
    return label.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TickerLabelTest : public QObject {
    Q_OBJECT

private slots:
    void looksLikeAPlainLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QFont>("font");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("frame");
        QFont big;
        big.setPointSize(12);
        big.setBold(true);
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPointSize(7);
        const int centre = Qt::AlignCenter, left = Qt::AlignLeft | Qt::AlignVCenter;
        const int sunken = QFrame::Panel | QFrame::Sunken;
        QTest::newRow("position, centred, bold") << "1,663.676 deg" << big << centre << 0;
        QTest::newRow("reply bits, fixed, left") << "0000 0001 1010 1110 0111 01" << fixed << left << 0;
        QTest::newRow("air gap, micro sign") << QString::fromUtf8("Air gap: 123.4 \xC2\xB5m") << QFont() << left << 0;
        QTest::newRow("sunken panel, centred") << "-12.5 C" << QFont() << centre << sunken;
        QTest::newRow("sunken panel, left") << "0x0A1F" << QFont() << left << sunken;
    }

    void looksLikeAPlainLabel()
    {
        QFETCH(QString, text);
        QFETCH(QFont, font);
        QFETCH(int, alignment);
        QFETCH(int, frame);
        const QSize size(300, 30);
        const QImage plain = Picture<QLabel>(text, font, Qt::Alignment(alignment), frame, size);
        const QImage ticker = Picture<TickerLabel>(text, font, Qt::Alignment(alignment), frame, size);
        const Ink a = InkOf(plain), b = InkOf(ticker);
        QVERIFY(a.pixels > 0);
        QVERIFY2(std::abs(a.box.left() - b.box.left()) <= 1 && std::abs(a.box.right() - b.box.right()) <= 1 &&
                     std::abs(a.box.top() - b.box.top()) <= 1 && std::abs(a.box.bottom() - b.box.bottom()) <= 1,
                 qPrintable(QString("plain ink at %1,%2-%3,%4, ticker at %5,%6-%7,%8")
                                .arg(a.box.left()).arg(a.box.top()).arg(a.box.right()).arg(a.box.bottom())
                                .arg(b.box.left()).arg(b.box.top()).arg(b.box.right()).arg(b.box.bottom())));
        QVERIFY2(std::abs(a.pixels - b.pixels) <= a.pixels / 10,
                 qPrintable(QString("%1 pixels of ink, %2 from the ticker").arg(a.pixels).arg(b.pixels)));
        // The text's colour is the label's: the strongest ink of both is alike.
        const QColor inkA = StrongestInk(plain, a.box), inkB = StrongestInk(ticker, b.box);
        QVERIFY2(std::abs(inkA.red() - inkB.red()) <= 48 && std::abs(inkA.green() - inkB.green()) <= 48 &&
                     std::abs(inkA.blue() - inkB.blue()) <= 48,
                 qPrintable(inkA.name() + " against " + inkB.name()));
        if (qEnvironmentVariableIsSet("K417_TICKER_PICTURES")) {
            plain.save(QString("plain-%1.png").arg(QTest::currentDataTag()));
            ticker.save(QString("ticker-%1.png").arg(QTest::currentDataTag()));
        }
    }

    void paintsOtherTextsAsAPlainLabel()
    {
        const QSize size(300, 40);
        for (const QString& text : {QString::fromUtf8("12 \xE2\x86\x92 13"), QString("<b>bold</b> 12"),
                                    QString("two\nlines")}) {
            const QImage plain = Picture<QLabel>(text, QFont(), Qt::AlignCenter, 0, size);
            const QImage ticker = Picture<TickerLabel>(text, QFont(), Qt::AlignCenter, 0, size);
            QVERIFY2(plain == ticker, qPrintable(text));
        }
    }

    void followsAChangeOfFont()
    {
        TickerLabel label;
        label.resize(300, 30);
        label.setText("123.456");
        const Ink small = InkOf(label.grab().toImage());
        QFont big = label.font();
        big.setPointSize(big.pointSize() * 2);
        label.setFont(big);
        const Ink large = InkOf(label.grab().toImage());
        QVERIFY(large.box.width() > small.box.width() * 3 / 2);
    }
};

QTEST_MAIN(TickerLabelTest)
#include "test_ticker_label.moc"
