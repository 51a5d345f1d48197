// A ticker label looks like a plain label with the same text, font,
// alignment and frame: the same ink in the same place, within a pixel (the
// plain label may kern pairs of characters). Texts it cannot lay out from
// its glyph table are painted exactly as the plain label paints them.

#include "PaintNotes.h"
#include "shell/TickerLabel.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QScreen>
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
// The window as it stands in its backing store (what a user sees), with the
// label's paint events noted.
struct ShownWindow : PaintNotes {
    QWidget window;
    TickerLabel* label = nullptr;

    ShownWindow(Qt::Alignment alignment, int frame)
    {
        window.resize(320, 60);
        label = new TickerLabel(&window);
        label->setGeometry(10, 10, 300, 30);
        label->setAlignment(alignment);
        label->setFrameStyle(frame);
        Watch(label);
        window.show();
    }
    void Settle()
    {
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QImage Screen() { return ScreenOf(window); }
};
// How much of a label a new text repaints.
enum Repainted { Characters, Text, Whole };
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

    // A text that differs from the shown one in a few characters repaints
    // those alone, one that moves (centred, of another width) repaints the
    // text and not all of the label, and the screen then shows exactly what a
    // full repaint of the new text shows.
    void repaintsOnlyTheCharactersThatChanged_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("repainted");
        const int centre = Qt::AlignCenter, left = Qt::AlignLeft | Qt::AlignVCenter;
        const int right = Qt::AlignRight | Qt::AlignVCenter;
        const int sunken = QFrame::Panel | QFrame::Sunken;
        QTest::newRow("last digit, centred") << "175,053.125" << "175,053.126" << centre << 0 << int(Characters);
        QTest::newRow("middle and end, framed") << "0000 0001 1010" << "0000 0111 1011" << left << sunken << int(Characters);
        QTest::newRow("longer, left") << "12.5" << "12.55" << left << sunken << int(Characters);
        QTest::newRow("shorter, left") << "12.55 mm" << "12.5 mm" << left << 0 << int(Characters);
        QTest::newRow("longer, centred") << "99.9" << "100.0" << centre << 0 << int(Text);
        QTest::newRow("same length, other width, centred") << "0004A357FE400000" << "0004D9643D800000" << centre
                                                           << sunken << int(Text);
        QTest::newRow("same length, other width, right") << "1111" << "MMMM" << right << 0 << int(Text);
        QTest::newRow("to a caption with a line break") << "12.5" << "a\nb" << centre << 0 << int(Whole);
        QTest::newRow("from a caption with a line break") << "a\nb" << "12.5" << centre << 0 << int(Whole);
    }

    void repaintsOnlyTheCharactersThatChanged()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, alignment);
        QFETCH(int, frame);
        QFETCH(int, repainted);
        ShownWindow shown(Qt::Alignment(alignment), frame);
        shown.label->setText(before);
        shown.Settle();
        shown.painted = QRegion();
        shown.label->setText(after);
        shown.Settle();
        QCOMPARE(shown.label->text(), after);
        QVERIFY(!shown.painted.isEmpty());
        const QRect whole = shown.label->rect(), part = shown.painted.boundingRect();
        const QString what = QString("repainted %1x%2 of %3x%4").arg(part.width()).arg(part.height())
                                 .arg(whole.width()).arg(whole.height());
        if (repainted == Characters)
            QVERIFY2(part.width() < whole.width() / 2, qPrintable(what));
        else if (repainted == Text)
            QVERIFY2(part.width() < whole.width() && part.height() < whole.height(), qPrintable(what));
        else
            QCOMPARE(part, whole);
        const QImage screen = shown.Screen();
        shown.label->update();
        shown.Settle();
        QCOMPARE(screen, shown.Screen());
    }

    // Whatever else asked for a repaint of the label at the same time (here:
    // it was hidden and shown again) is repainted too.
    void aChangeBesideAnotherRepaintStillShowsAllOfTheLabel()
    {
        ShownWindow shown(Qt::AlignCenter, QFrame::Panel | QFrame::Sunken);
        shown.label->setText("175,053.125");
        shown.Settle();
        shown.label->hide();
        shown.Settle();
        shown.label->show();
        shown.label->setText("175,053.126");
        shown.Settle();
        const QImage screen = shown.Screen();
        shown.label->update();
        shown.Settle();
        QCOMPARE(screen, shown.Screen());
        QVERIFY(InkOf(screen.copy(shown.label->geometry())).pixels > 0);
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
