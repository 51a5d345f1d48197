#pragma once
// A label for a value that changes on every monitor tick. A plain label
// shapes its text anew at each repaint; this one keeps each character's
// glyph and advance once per font and lays out a single line of Latin-1
// text from them, so a repaint costs the blending of the glyphs and little
// else. A text it cannot lay out that way (rich text, several lines, word
// wrap, characters beyond Latin-1 or missing from the font) is painted as a
// plain label paints it. The label paints its own background, so a new text
// repaints only the label and not the widgets beneath it.

#include <QLabel>
#include <QRawFont>

#include <array>

class TickerLabel : public QLabel {
public:
    explicit TickerLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Glyph {
        quint32 index = 0;
        qreal advance = 0;
        bool known = false; // looked up in the font
    };
    // The glyphs of the text, or false when the plain label has to paint it.
    bool LayOut(const QString& text);

    QRawFont raw_;
    bool rawValid_ = false;
    std::array<Glyph, 256> glyphs_{};
    QVector<quint32> indexes_;
    QVector<QPointF> positions_;
    qreal width_ = 0;
};

// A ticker label with its caption, named and placed as Make places widgets.
TickerLabel* MakeTickerLabel(QWidget* parent, const char* name, const QString& text, QRect geometry);
